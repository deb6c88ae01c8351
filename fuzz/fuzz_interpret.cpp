// Any body the service (or something in between) may send, through the answer interpretation
// for both strategies with one reused parser, as a worker does.
#include <simdjson.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/interpret.h"
#include "engine/metrica.h"
#include "engine/tasks.h"
#include "fuzz_util.h"

using namespace velmora;

namespace {

// The categories' scores read as the performance score.
constexpr TMetricaInfo kCategoryScoreRow{"", "", "", mkScore, ""};

const TMetricaInfo* RowOf(std::string_view key) {
    for (const TMetricaInfo& row : MetricaTable)
        if (row.Key == key) return &row;
    for (const TCategoryInfo& c : CategoryTable)
        if (c.Key == key) return &kCategoryScoreRow;
    return nullptr;
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool ScoreTextOk(std::string_view t) {
    if (t == "N/A" || t == "ERR") return true;
    if (!AllDigits(t) || (t.size() > 1 && t[0] == '0')) return false;
    return std::stoi(std::string(t)) <= 100;
}

// "%6.1f kb" with the given separator, or one of the two placeholders.
bool TransferTextOk(std::string_view t, char sep) {
    if (t == "N/A" || t == "ERR") return true;
    if (t.size() < 9 || t.substr(t.size() - 3) != " kb") return false;
    std::string_view num = t.substr(0, t.size() - 3);
    size_t lead = num.find_first_not_of(' ');
    if (lead == std::string_view::npos) return false;
    std::string_view digits = num.substr(lead);
    if (digits.size() < 3 || digits[digits.size() - 2] != sep) return false;
    if (lead > 0 && num.size() != 6) return false;  // padding only up to the width
    return AllDigits(digits.substr(0, digits.size() - 2)) &&
           AllDigits(digits.substr(digits.size() - 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static simdjson::dom::parser parser;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    TURLTaskInfo task("https://example.com/", 7);
    std::vector<std::string> log;
    const TLogFn logFn = [&](const std::string& line) { log.push_back(line); };
    task.InitMetricResults();
    task.TaskResults->Categories = kAllCategories;

    for (TMetricaStrategy s : kStrategies) {
        const char sep = s == msDesktop ? ',' : '.';
        const size_t before = task.TaskResults ? task.TaskResults->MetricaValues.size() : 0;
        const bool ok = InterpretBody(parser, body, s, task, sep, logFn);
        FUZZ_CHECK(task.TaskResults, "no results after interpretation");
        const TURLTaskResults& r = *task.TaskResults;
        const TTaskResult st = r.TaskResult[s];
        const int stN = static_cast<int>(st);
        FUZZ_CHECK(st == trOK || (st >= trParseError && st <= trQuotaExceeded), "status %d", stN);
        FUZZ_CHECK(ok == (st == trOK), "returned %d with status %d", ok, stN);
        FUZZ_CHECK(st == trOK || r.AdviceList[s].empty(), "advice on a failed answer");
        if (st != trServiceError && st != trQuotaExceeded && st != trNotHTML &&
            st != trUnknownResponse)
            FUZZ_CHECK(r.ErrorCode[s] == 0, "error code %d with status %d", r.ErrorCode[s], stN);

        size_t audits = 0, scores = 0;
        for (size_t i = before; i < r.MetricaValues.size(); ++i) {
            const TMetricaValue& v = r.MetricaValues[i];
            const TMetricaInfo* row = RowOf(v.Key);
            FUZZ_CHECK(row, "key outside the catalogue: %.*s", int(v.Key.size()), v.Key.data());
            FUZZ_CHECK(v.Strategy == s, "value of strategy %d under %d", v.Strategy, s);
            FUZZ_CHECK(fuzz::Utf8Ok(v.DisplayText), "display text not UTF-8");
            switch (row->Kind) {
                case mkScore:
                    ++scores;
                    FUZZ_CHECK(ScoreTextOk(v.DisplayText), "score text '%s'",
                               v.DisplayText.c_str());
                    break;
                case mkTransferSize:
                    FUZZ_CHECK(TransferTextOk(v.DisplayText, sep), "size text '%s'",
                               v.DisplayText.c_str());
                    break;
                case mkAuditValue:
                    ++audits;
                    break;
            }
        }
        // A good answer always yields the four scores and every timing metric, even if only N/A.
        if (st == trOK)
            FUZZ_CHECK(scores == 4 && audits == 6, "%zu scores %zu audits", scores, audits);
        FUZZ_CHECK(scores <= 4, "%zu scores", scores);

        for (const TGAdvice& a : r.AdviceList[s]) {
            FUZZ_CHECK(a.Category <= ctSeo, "category %d", a.Category);
            FUZZ_CHECK(a.AdviceGroupNdx >= 0, "advice group %d", a.AdviceGroupNdx);
            // Insights and manual checks come without a display value, never without a title.
            FUZZ_CHECK(!a.Title.empty(), "advice without title");
            FUZZ_CHECK(fuzz::Utf8Ok(a.AdviceText), "advice text not UTF-8");
            FUZZ_CHECK(!a.Manual || a.Category != ctPerformance, "manual performance advice");
            if (a.Category != ctPerformance) continue;
            FUZZ_CHECK(size_t(a.AdviceGroupNdx) < AdviceGroupTable.size(), "advice group %d",
                       a.AdviceGroupNdx);
        }
    }
    for (const std::string& line : log) FUZZ_CHECK(fuzz::Utf8Ok(line), "log line not UTF-8");
    return 0;
}
