#include "cli/json_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>

#include "base/file_write.h"

namespace velmora::cli {
namespace {

using nlohmann::json;

json NumberOrNull(double d) {
    return std::isfinite(d) ? json(d) : json(nullptr);
}

// Scores and byte counts are whole numbers; written as such, "100" rather than "100.0".
json WholeOrNull(double d) {
    return std::isfinite(d) ? json(static_cast<int64_t>(std::llround(d))) : json(nullptr);
}

// The category of a score key; nothing for the catalogue's other keys.
std::optional<TCategory> CategoryOfKey(std::string_view key) {
    for (size_t c = 0; c < CategoryTable.size(); ++c)
        if (CategoryTable[c].Key == key) return static_cast<TCategory>(c);
    return std::nullopt;
}

// The scores and failing audits of the categories asked for besides performance's own
// "score" and "advice": {"performance": 51, "accessibility": 24, ...} and
// {"accessibility": ["button-name", ...], ...}.
void AddCategories(json& j, const TURLTaskResults& r, TMetricaStrategy s) {
    json scores = json::object(), advice = json::object();
    for (size_t c = 0; c < CategoryTable.size(); ++c) {
        if (!HasCategory(r.Categories, static_cast<int>(c))) continue;
        const std::string key(CategoryTable[c].Key);
        const TMetricaValue* v = r.MetricaValues.GetValueByKey(CategoryTable[c].Key, s);
        scores[key] = v ? WholeOrNull(v->Number) : json(nullptr);
        if (c == ctPerformance) continue;
        json ids = json::array();
        for (const TGAdvice& a : r.AdviceList[s])
            if (a.Category == c && a.Failed()) ids.push_back(a.AuditId.str());
        advice[key] = std::move(ids);
    }
    j["categories"] = std::move(scores);
    j["category_advice"] = std::move(advice);
}

TMetricaKind KindOf(std::string_view key) {
    for (const TMetricaInfo& row : MetricaTable)
        if (row.Key == key) return row.Kind;
    return mkAuditValue;
}

json CategoryOrNull(TFieldCategory c) {
    switch (c) {
        case fcFast:
            return "fast";
        case fcAverage:
            return "average";
        case fcSlow:
            return "slow";
        case fcNone:
            break;
    }
    return nullptr;
}

json VerdictJson(TCwvVerdict v) {
    return v == cvPassed ? json("passed") : v == cvFailed ? json("failed") : json(nullptr);
}

// How the page changed since the run compared with; null when that run lacks the page.
json ChangeJson(const TAgainstRun& against, const TURLTaskInfo& task, TMetricaStrategy s) {
    const TURLTaskInfo* earlier = against.Find(task.URL);
    if (!earlier) return nullptr;
    const TPageChange c = ChangeOf(earlier, task, s);
    return {{"run", against.Id},
            {"score", c.Score ? json(*c.Score) : json(nullptr)},
            {"cwv", {{"before", VerdictJson(c.Before)}, {"after", VerdictJson(c.After)}}}};
}

// Null when the service has no real-user data for the page or its origin.
json FieldDataJson(const TFieldData& d) {
    if (d.Empty()) return nullptr;
    json out;
    out["source"] = d.Source == fsOrigin ? "origin" : "page";
    out["overall"] = CategoryOrNull(d.Overall);
    out["cwv"] = VerdictJson(d.Verdict);
    json metrics = json::object();
    for (size_t m = 0; m < FieldMetricTable.size(); ++m) {
        const TFieldMetricValue& v = d.Metrics[m];
        if (!v.Present) continue;
        metrics[std::string(FieldMetricTable[m].ShortName)] = {
            {"p75", v.P75}, {"category", CategoryOrNull(v.Category)}};
    }
    out["metrics"] = std::move(metrics);
    return out;
}

}  // namespace

std::string_view StatusWord(TTaskResult r) {
    switch (r) {
        case trNotChecked:
            return "not_checked";
        case trOK:
            return "ok";
        case trAborted:
            return "aborted";
        case trSendError:
            return "send_error";
        case trParseError:
            return "parse_error";
        case trUnknownResponse:
            return "unknown_response";
        case trNotHTML:
            return "not_html";
        case trServiceError:
            return "service_error";
        case trQuotaExceeded:
            return "quota";
        case trPageError:
            return "page_error";
    }
    return "unknown";
}

std::string ResultJsonLine(const TURLTaskInfo& task, TMetricaStrategy s,
                           const TAgainstRun* against) {
    json j;
    j["url"] = task.URL;
    j["strategy"] = std::string(StrategyText(s));
    const TURLTaskResults* r = task.TaskResults.get();
    j["status"] = std::string(StatusWord(r ? r->TaskResult[s] : trNotChecked));
    // A page error is the service's word ("NO_FCP") and message; other failures keep their
    // number and the error column's text.
    if (r && r->TaskResult[s] == trPageError) {
        j["error_code"] = r->ServiceCode[s];
        j["error_text"] = r->ServiceText[s];
    } else {
        j["error_code"] = r && r->ErrorCode[s] != 0 ? json(r->ErrorCode[s]) : json(nullptr);
        j["error_text"] = r ? r->ErrorText(s) : std::string();
    }
    j["score"] = nullptr;
    json metrics = json::object(), sizes = json::object(), field = nullptr;
    json advice = json::array();
    if (r) {
        for (const TMetricaValue& v : r->MetricaValues) {
            if (v.Strategy != s) continue;
            if (CategoryOfKey(v.Key).value_or(ctPerformance) != ctPerformance) continue;
            const std::string key(v.Key);
            switch (KindOf(v.Key)) {
                case mkScore:
                    j["score"] = WholeOrNull(v.Number);
                    break;
                case mkAuditValue:
                    metrics[key] = {{"value", NumberOrNull(v.Number)}, {"text", v.DisplayText}};
                    break;
                case mkTransferSize:
                    sizes[key] = WholeOrNull(v.Number);
                    break;
            }
        }
        field = FieldDataJson(r->FieldData[s]);
        for (const TGAdvice& a : r->AdviceList[s])
            if (a.Category == ctPerformance && a.Failed())
                advice.push_back(std::string(a.AuditId.str()));
        // Only when asked for, so the lines of a performance-only run stay as they are.
        if (r->Categories != kPerformanceOnly) AddCategories(j, *r, s);
    }
    j["metrics"] = std::move(metrics);
    j["transfer_bytes"] = std::move(sizes);
    j["field_data"] = std::move(field);
    j["advice"] = std::move(advice);
    if (against) j["change"] = ChangeJson(*against, task, s);
    // Invalid UTF-8 from a page's texts becomes U+FFFD rather than an exception mid-run.
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

TJsonLinesWriter::~TJsonLinesWriter() {
    if (FOwnsFd && FFd >= 0) ::close(FFd);
}

TResult<> TJsonLinesWriter::Open(const std::string& path) {
    FPath = path;
    if (path == "-") {
        FFd = STDOUT_FILENO;
        return {};
    }
    FFd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (FFd < 0) return Fail(path + ": " + std::strerror(errno), errno);
    FOwnsFd = true;
    return {};
}

void TJsonLinesWriter::WriteTask(const TURLTaskInfo& task, const TAgainstRun* against) {
    if (FFd < 0 || FWriteErrno != 0) return;
    std::string lines;
    // A strategy not asked for has no result to give: no line, rather than "not_checked".
    for (TMetricaStrategy s : kStrategies)
        if (!task.TaskResults || task.TaskResults->Asked(s))
            lines += ResultJsonLine(task, s, against) + "\n";
    FWritten.insert(task.Num);
    FWriteErrno = WriteAll(FFd, lines);
}

void TJsonLinesWriter::WriteLine(const std::string& line) {
    if (FFd < 0 || FWriteErrno != 0) return;
    FWriteErrno = WriteAll(FFd, line + "\n");
}

TResult<> TJsonLinesWriter::Close() {
    if (FOwnsFd && FFd >= 0 && ::close(FFd) != 0 && FWriteErrno == 0) FWriteErrno = errno;
    FOwnsFd = false;
    FFd = -1;
    if (FWriteErrno != 0) return Fail(FPath + ": " + std::strerror(FWriteErrno), FWriteErrno);
    return {};
}

}  // namespace velmora::cli
