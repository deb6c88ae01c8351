#include "engine/interpret.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include "base/text.h"
#include "base/translate.h"
#include "engine/events.h"
#include "engine/metrica.h"

namespace velmora {
namespace {

using simdjson::SUCCESS;
using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

constexpr int64_t kMaxTransferSize = 2147483647;

// A member's text: a string's content or a number's decimal text. Other types have none.
std::optional<std::string> ValueText(const element& e) {
    switch (e.type()) {
        case element_type::STRING: {
            std::string_view sv;
            if (e.get_string().get(sv) != SUCCESS) return std::nullopt;
            return std::string(sv);
        }
        case element_type::INT64: {
            int64_t v = 0;
            if (e.get_int64().get(v) != SUCCESS) return std::nullopt;
            return std::to_string(v);
        }
        case element_type::UINT64: {
            uint64_t v = 0;
            if (e.get_uint64().get(v) != SUCCESS) return std::nullopt;
            return std::to_string(v);
        }
        case element_type::DOUBLE: {
            double d = 0;
            if (e.get_double().get(d) != SUCCESS) return std::nullopt;
            char buf[64];
            auto r = std::to_chars(buf, buf + sizeof buf, d);
            return std::string(buf, r.ptr);
        }
        default:
            return std::nullopt;
    }
}

std::optional<element> Member(const object& obj, std::string_view name) {
    element e;
    if (obj.at_key(name).get(e) != SUCCESS) return std::nullopt;
    return e;
}

// A member that must be an object or an array counts as missing when it has another type.
std::optional<object> ObjectMember(const object& obj, std::string_view name) {
    object o;
    if (obj.at_key(name).get_object().get(o) != SUCCESS) return std::nullopt;
    return o;
}

std::optional<array> ArrayMember(const object& obj, std::string_view name) {
    array a;
    if (obj.at_key(name).get_array().get(a) != SUCCESS) return std::nullopt;
    return a;
}

std::string MemberText(const object& obj, std::string_view name) {
    auto e = Member(obj, name);
    if (!e) return {};
    return ValueText(*e).value_or(std::string());
}

// A number that is a whole value within [lo, hi], whatever its JSON spelling (2, 2.0, 2e0).
std::optional<int64_t> WholeNumber(const element& e, int64_t lo, int64_t hi) {
    switch (e.type()) {
        case element_type::INT64: {
            int64_t v = 0;
            if (e.get_int64().get(v) != SUCCESS || v < lo || v > hi) return std::nullopt;
            return v;
        }
        case element_type::DOUBLE: {
            double d = 0;
            if (e.get_double().get(d) != SUCCESS) return std::nullopt;
            if (!std::isfinite(d) || d != std::floor(d)) return std::nullopt;
            if (d < static_cast<double>(lo) || d > static_cast<double>(hi)) return std::nullopt;
            return static_cast<int64_t>(d);
        }
        default:
            return std::nullopt;  // UINT64 lies above any int64 bound
    }
}

// The service's error code; 999 when it is not a whole 32-bit number (a word, a fraction).
int32_t ErrorCodeOf(const element& e) {
    if (e.is_string()) {
        std::string_view sv;
        int32_t v = 0;
        if (e.get_string().get(sv) == SUCCESS) {
            auto r = std::from_chars(sv.data(), sv.data() + sv.size(), v);
            if (r.ec == std::errc() && r.ptr == sv.data() + sv.size()) return v;
        }
        return 999;
    }
    auto v = WholeNumber(e, INT32_MIN, INT32_MAX);
    return v ? static_cast<int32_t>(*v) : 999;
}

class TInterpreter {
  public:
    TInterpreter(TMetricaStrategy s, TURLTaskInfo& task, char sep, const TLogFn& log,
                 TAnswerContext* context)
        : FStrategy(s),
          FTask(task),
          FResults(*task.TaskResults),
          FSep(sep),
          FLog(log),
          FContext(context) {}

    bool Run(const element& answer);

  private:
    void Log(const char* pattern, const std::string& text = {}) {
        if (FLog) FLog(FormatLog(Tr(pattern), FTask.Num, text));
    }
    bool Fail(const char* pattern) {
        Log(pattern);
        FResults.TaskResult[FStrategy] = trUnknownResponse;
        return false;
    }
    bool ServiceError(const object& err);
    void AddMetricaValue(const object* obj, const TMetricaInfo& row, std::string_view member);

    TMetricaStrategy FStrategy;
    TURLTaskInfo& FTask;
    TURLTaskResults& FResults;
    char FSep;
    const TLogFn& FLog;
    TAnswerContext* FContext;
};

// The quota limit named in the error's ErrorInfo details, if any.
std::string QuotaLimitOf(const object& err) {
    auto details = ArrayMember(err, "details");
    if (!details) return {};
    for (element item : *details) {
        object detail;
        if (item.get_object().get(detail) != SUCCESS) continue;
        if (auto metadata = ObjectMember(detail, "metadata")) {
            std::string limit = MemberText(*metadata, "quota_limit");
            if (!limit.empty()) return limit;
        }
    }
    return {};
}

bool TInterpreter::ServiceError(const object& err) {
    if (auto code = Member(err, "code")) FResults.ErrorCode[FStrategy] = ErrorCodeOf(*code);
    std::optional<std::string> message;
    // The service may echo the request, key included, and anything at all may arrive.
    if (auto m = Member(err, "message"))
        if (auto text = ValueText(*m)) message = SafeNetworkText(*text);
    const std::string status = SafeNetworkText(MemberText(err, "status"));
    if (FContext && message) {
        FContext->PageError = message->find("FAILED_DOCUMENT_REQUEST") != std::string::npos ||
                              message->find("ERRORED_DOCUMENT_REQUEST") != std::string::npos;
    }

    TTaskResult& result = FResults.TaskResult[FStrategy];
    if (message && message->find("Lighthouse returned error: NOT_HTML") != std::string::npos) {
        Log("URL %d: ссылка возвращает не HTML, метрик нет");
        result = trNotHTML;
    } else if ((message && message->find("Quota exceeded") != std::string::npos) ||
               status == "RESOURCE_EXHAUSTED") {
        // Both the old wording ("... for quota group") and the current one ("... for quota
        // metric") occur; the status names the quota case whatever the wording.
        Log("URL %d: исчерпана квота API: %s", message ? *message : status);
        result = trQuotaExceeded;
        if (FContext) FContext->Quota = QuotaKindOf(message.value_or(""), QuotaLimitOf(err));
    } else if (!message) {
        Log("URL %d: ОШИБКА извлечения текста ошибки");
        result = trUnknownResponse;
    } else {
        Log("URL %d: сервер вернул необрабатываемую ошибку: %s", *message);
        result = trServiceError;
    }
    return false;
}

void TInterpreter::AddMetricaValue(const object* obj, const TMetricaInfo& row,
                                   std::string_view member) {
    TMetricaValue v;
    v.Key = row.Key;
    v.Strategy = FStrategy;
    v.ColNum = 0;
    std::optional<element> value;
    if (obj) value = Member(*obj, member);
    // A score that is no number (the service sends null when Lighthouse hit a runtime error) or
    // a display value without a text is as good as absent; an unusable transfer size shows ERR.
    bool noValue = !value;
    if (value && row.Kind == mkScore) noValue = !value->is_number();
    if (value && row.Kind == mkAuditValue) noValue = !ValueText(*value);
    if (!obj) {
        Log("URL %d: ответ сервера не содержит метрики \"%s\"", std::string(row.Key));
        v.DisplayText = "N/A";
    } else if (noValue) {
        Log("URL %d: ответ сервера не содержит значения метрики \"%s\"", std::string(row.Key));
        v.DisplayText = "N/A";
    } else {
        switch (row.Kind) {
            case mkScore: {
                double d = 0;
                if (value->get_double().get(d) == SUCCESS) v.DisplayText = FormatScore(d);
                if (v.DisplayText.empty()) v.DisplayText = "ERR";  // outside 0..1
                break;
            }
            case mkTransferSize: {
                auto n = WholeNumber(*value, 0, kMaxTransferSize);
                v.DisplayText = n ? FormatTransferSize(*n, FSep) : "ERR";
                break;
            }
            case mkAuditValue:
                v.DisplayText = *ValueText(*value);
                break;
        }
    }
    FResults.MetricaValues.push_back(std::move(v));
}

bool TInterpreter::Run(const element& answer) {
    object top;
    if (answer.get_object().get(top) != SUCCESS) {
        // Callers hand over objects only; guard against misuse all the same.
        return Fail("URL %d: ответ сервера не содержит метрик, нет объекта \"lighthouseResult\"");
    }
    if (auto err = ObjectMember(top, "error")) return ServiceError(*err);

    auto lhr = ObjectMember(top, "lighthouseResult");
    if (!lhr)
        return Fail("URL %d: ответ сервера не содержит метрик, нет объекта \"lighthouseResult\"");
    auto categories = ObjectMember(*lhr, "categories");
    if (!categories)
        return Fail(
            "URL %d: ответ сервера не содержит метрик, нет объекта "
            "\"lighthouseResult.categories\"");
    auto performance = ObjectMember(*categories, "performance");
    if (!performance)
        return Fail(
            "URL %d: ответ сервера не содержит метрик, нет объекта "
            "\"lighthouseResult.categories.performance\"");

    AddMetricaValue(&*performance, MetricaTable[0], "score");

    auto auditRefs = ArrayMember(*performance, "auditRefs");
    if (!auditRefs)
        return Fail(
            "URL %d: ответ сервера не содержит метрик, нет объекта "
            "\"lighthouseResult.categories.performance.auditRefs\"");
    TGAdviceRefList refs;
    for (element item : *auditRefs) {
        object ref;
        if (item.get_object().get(ref) != SUCCESS) continue;
        std::string id = MemberText(ref, "id");
        std::string group = MemberText(ref, "group");
        if (id.empty() || group.empty()) continue;
        for (size_t g = 0; g < AdviceGroupTable.size(); ++g) {
            if (group == AdviceGroupTable[g].Key) {
                refs.AddRef(std::move(id), static_cast<int32_t>(g), MemberText(ref, "title"),
                            MemberText(ref, "description"));
                break;
            }
        }
    }

    auto audits = ObjectMember(*lhr, "audits");
    if (!audits) return Fail("URL %d: ответ сервера не содержит метрик, нет объекта \"audits\"");
    // A lookup by key scans the object; with some fifty lookups among a hundred and fifty
    // audits one sorted index is cheaper. Ties keep document order, so the first member wins.
    std::vector<std::pair<std::string_view, element>> index;
    index.reserve(audits->size());
    for (auto [key, value] : *audits) index.emplace_back(key, value);
    std::stable_sort(index.begin(), index.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    auto audit = [&index](std::string_view key) -> std::optional<object> {
        auto it = std::lower_bound(index.begin(), index.end(), key,
                                   [](const auto& e, std::string_view k) { return e.first < k; });
        object o;
        if (it == index.end() || it->first != key || it->second.get_object().get(o) != SUCCESS)
            return std::nullopt;
        return o;
    };
    auto summary = audit("resource-summary");
    if (!summary) return Fail("URL %d: ответ сервера не содержит объекта \"resource-summary\"");

    std::optional<array> items;
    for (size_t i = 1; i < MetricaTable.size(); ++i) {
        const TMetricaInfo& row = MetricaTable[i];
        if (row.Kind == mkAuditValue) {
            auto rowAudit = audit(row.Key);
            AddMetricaValue(rowAudit ? &*rowAudit : nullptr, row, "displayValue");
        } else if (row.Kind == mkTransferSize) {
            if (!items) {
                auto details = ObjectMember(*summary, "details");
                if (!details)
                    return Fail(
                        "URL %d: ответ сервера не содержит объекта \"resource-summary.details\"");
                items = ArrayMember(*details, "items");
                if (!items)
                    return Fail(
                        "URL %d: ответ сервера не содержит объекта "
                        "\"resource-summary.details.items\"");
            }
            for (element item : *items) {
                object entry;
                if (item.get_object().get(entry) != SUCCESS) continue;
                if (MemberText(entry, "resourceType") == row.Key)
                    AddMetricaValue(&entry, row, "transferSize");
            }
        }
    }

    TGAdviceList& advice = FResults.AdviceList[FStrategy];
    for (const TGAdviceRef& ref : refs) {
        auto refAudit = audit(ref.Key);
        if (!refAudit) continue;
        auto title = Member(*refAudit, "title");
        if (!title) continue;
        std::string adviceText = MemberText(*refAudit, "displayValue");
        if (adviceText.empty()) continue;
        TGAdvice a;
        a.Title = TInternedText(ValueText(*title).value_or(std::string()));
        a.Descr = TInternedText(MemberText(*refAudit, "description"));
        a.AdviceText = std::move(adviceText);
        a.AdviceGroupNdx = ref.AdviceGroupNdx;
        advice.push_back(std::move(a));
    }

    FResults.TaskResult[FStrategy] = trOK;
    return true;
}

}  // namespace

std::string FormatTransferSize(int64_t bytes, char decimalSeparator) {
    if (bytes < 0 || bytes > kMaxTransferSize) return "ERR";
    // Integer arithmetic: exact halves go up, and no locale or binary fraction is involved.
    const int64_t tenths = (bytes * 10 + 512) / 1024;
    std::string num = std::to_string(tenths / 10);
    num += decimalSeparator;
    num += static_cast<char>('0' + tenths % 10);
    if (num.size() < 6) num.insert(0, 6 - num.size(), ' ');
    return num + " kb";
}

std::string FormatScore(double score) {
    if (!(score >= 0.0 && score <= 1.0)) return {};
    // Half up on the decimal value: the epsilon absorbs the binary error of values such as
    // 0.285 (28.499999... after scaling), so the result follows the decimal text.
    return std::to_string(static_cast<int>(std::floor(score * 100.0 + 0.5 + 1e-9)));
}

bool InterpretAnswer(const simdjson::dom::element& answer, TMetricaStrategy s, TURLTaskInfo& task,
                     char decimalSeparator, const TLogFn& log, TAnswerContext* context) {
    if (!task.TaskResults) task.InitMetricResults();
    return TInterpreter(s, task, decimalSeparator, log, context).Run(answer);
}

namespace {

bool InterpretParsed(simdjson::error_code err, element doc, TMetricaStrategy s, TURLTaskInfo& task,
                     char decimalSeparator, const TLogFn& log, TAnswerContext* context) {
    if (err == SUCCESS && !doc.is_object()) err = simdjson::INCORRECT_TYPE;
    const long status = context ? context->HttpStatus : 0;
    if (err != SUCCESS && status >= 300) {
        // A redirect, an empty 429 or 503, an HTML error page: the status is what happened.
        if (log)
            log(FormatLog(Tr("URL %d: сервер ответил HTTP %s без данных"), task.Num,
                          std::to_string(status)));
        task.TaskResults->TaskResult[s] = trServiceError;
        return false;
    }
    if (err != SUCCESS) {
        if (log)
            log(FormatLog(Tr("URL %d: ОШИБКА парсинга ответа: %s"), task.Num,
                          simdjson::error_message(err)));
        task.TaskResults->TaskResult[s] = trParseError;
        return false;
    }
    return InterpretAnswer(doc, s, task, decimalSeparator, log, context);
}

}  // namespace

bool InterpretBody(simdjson::dom::parser& parser, std::string_view body, TMetricaStrategy s,
                   TURLTaskInfo& task, char decimalSeparator, const TLogFn& log,
                   TAnswerContext* context) {
    if (!task.TaskResults) task.InitMetricResults();
    element doc;
    simdjson::error_code err = simdjson::EMPTY;
    if (!body.empty()) err = parser.parse(body.data(), body.size(), true).get(doc);
    return InterpretParsed(err, doc, s, task, decimalSeparator, log, context);
}

bool InterpretBody(simdjson::dom::parser& parser, const std::string& body, TMetricaStrategy s,
                   TURLTaskInfo& task, char decimalSeparator, const TLogFn& log,
                   TAnswerContext* context) {
    if (!task.TaskResults) task.InitMetricResults();
    element doc;
    simdjson::error_code err = simdjson::EMPTY;
    if (!body.empty()) err = parser.parse(body).get(doc);
    return InterpretParsed(err, doc, s, task, decimalSeparator, log, context);
}

}  // namespace velmora
