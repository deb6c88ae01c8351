#include "engine/interpret.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "base/text.h"
#include "base/translate.h"
#include "engine/events.h"
#include "engine/interpret_errors.h"
#include "engine/json_members.h"
#include "engine/metrica.h"
#include "engine/screenshot.h"

namespace velmora {
namespace {

using namespace json;

constexpr int64_t kMaxTransferSize = 2147483647;

// The audits looked up by id. A lookup by key scans the object; with some fifty lookups among
// a hundred and fifty audits one sorted index is cheaper. Ties keep document order, so the
// first member wins.
class TAuditIndex {
  public:
    void Build(const object& audits) {
        FItems.reserve(audits.size());
        for (auto [key, value] : audits) FItems.emplace_back(key, value);
        std::stable_sort(FItems.begin(), FItems.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    std::optional<object> Find(std::string_view key) const {
        auto it = std::lower_bound(FItems.begin(), FItems.end(), key,
                                   [](const auto& e, std::string_view k) { return e.first < k; });
        object o;
        if (it == FItems.end() || it->first != key || it->second.get_object().get(o) != SUCCESS)
            return std::nullopt;
        return o;
    }

  private:
    std::vector<std::pair<std::string_view, element>> FItems;
};

// As the service's report: audits that only inform or that failed to run are always shown,
// scored ones when they scored below 0.9, not-applicable and manual ones never. An audit
// without a mode is judged by its score, so an odd answer loses no failing audit.
bool IsAdvice(std::string_view mode, const std::optional<double>& score) {
    if (mode == "informative" || mode == "error") return true;
    if (mode.empty() || mode == "numeric" || mode == "binary" || mode == "metricSavings")
        return score && *score < 0.9;
    return false;
}

// Estimated savings, compared metric by metric in the order the report ranks them. An audit
// without per-metric savings may still carry the older overall estimate in milliseconds,
// which stands for the load time, so it ranks with LCP.
using TSavings = std::array<double, 4>;
constexpr std::array<std::string_view, 4> kSavingsMetrics{"LCP", "FCP", "TBT", "CLS"};

// The members of an audit that make an advice item, found in one pass: the lookups by name
// would scan its dozen members once each, for some forty audits per answer. As with a lookup
// by name, the first of equal names wins.
struct TAuditMembers {
    std::optional<element> Title, Description, DisplayValue, Score, MetricSavings, Details;
    std::optional<element> Mode;

    explicit TAuditMembers(const object& audit) {
        for (auto [key, value] : audit) {
            std::optional<element>* slot = nullptr;
            if (key == "title")
                slot = &Title;
            else if (key == "description")
                slot = &Description;
            else if (key == "displayValue")
                slot = &DisplayValue;
            else if (key == "score")
                slot = &Score;
            else if (key == "scoreDisplayMode")
                slot = &Mode;
            else if (key == "metricSavings")
                slot = &MetricSavings;
            else if (key == "details")
                slot = &Details;
            if (slot && !*slot) *slot = value;
        }
    }
};

std::string TextOf(const std::optional<element>& e) {
    if (!e) return {};
    return ValueText(*e).value_or(std::string());
}

// Interned straight from the answer's bytes when it is a string, the usual case.
TInternedText InternedTextOf(const std::optional<element>& e) {
    std::string_view sv;
    if (e && e->get_string().get(sv) == SUCCESS) return TInternedText(sv);
    return TInternedText(TextOf(e));
}

std::string_view StringOf(const std::optional<element>& e) {
    std::string_view sv;
    if (!e || e->get_string().get(sv) != SUCCESS) return {};
    return sv;
}

std::optional<double> NumberOf(const std::optional<element>& e) {
    double d = 0;
    if (!e || e->get_double().get(d) != SUCCESS || !std::isfinite(d)) return std::nullopt;
    return d;
}

TSavings EstimatedSavings(const TAuditMembers& audit) {
    TSavings savings{};
    object o;
    if (audit.MetricSavings && audit.MetricSavings->get_object().get(o) == SUCCESS) {
        for (size_t i = 0; i < kSavingsMetrics.size(); ++i)
            savings[i] = MemberNumber(o, kSavingsMetrics[i]).value_or(0.0);
    } else if (audit.Details && audit.Details->get_object().get(o) == SUCCESS) {
        savings[0] = MemberNumber(o, "overallSavingsMs").value_or(0.0);
    }
    return savings;
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
    bool PageError(const TServiceWords& words);
    void AddMetricaValue(const object* obj, const TMetricaInfo& row, std::string_view member);

    // The steps of a good answer, in order; each but the last fails the check when a required
    // object is missing.
    bool ReadPerformance(const object& top);
    bool CollectAdviceRefs();
    bool IndexAudits();
    bool ReadMetricaValues();
    void ReadAdvice();
    // The other categories asked for: a missing or broken one shows N/A and costs the check
    // nothing, so the rest of the answer is still read. Scores come with the performance
    // score, so an answer that fails later shows all of them as it shows that one.
    void ReadCategoryScores();
    void ReadCategoriesAdvice();
    void ReadCategoryAdvice(TCategory c, const object& category);
    TInternedText GroupTitle(std::string_view group);

    TMetricaStrategy FStrategy;
    TURLTaskInfo& FTask;
    TURLTaskResults& FResults;
    char FSep;
    const TLogFn& FLog;

    object FLighthouse;
    object FCategories;
    object FPerformance;
    object FSummary;
    TGAdviceRefList FRefs;
    TAuditIndex FAudits;
    // The answer's categoryGroups, looked up on first use.
    std::optional<object> FGroups;
    bool FGroupsRead = false;
    TAnswerContext* FContext;
};

bool TInterpreter::ServiceError(const object& err) {
    if (auto code = Member(err, "code")) FResults.ErrorCode[FStrategy] = ErrorCodeOf(*code);
    std::optional<std::string> message;
    // The service may echo the request, key included, and anything at all may arrive.
    if (auto m = Member(err, "message"))
        if (auto text = ValueText(*m)) message = SafeNetworkText(*text);
    const std::string status = SafeNetworkText(MemberText(err, "status"));
    FResults.ServiceCode[FStrategy] = status;
    FResults.ServiceText[FStrategy] = message.value_or(std::string());
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

bool TInterpreter::PageError(const TServiceWords& words) {
    Log("URL %d: сервис не смог загрузить страницу: %s",
        words.Text.empty() ? words.Code : words.Text);
    FResults.ServiceCode[FStrategy] = words.Code;
    FResults.ServiceText[FStrategy] = words.Text;
    FResults.TaskResult[FStrategy] = trPageError;
    if (FContext) FContext->PageError = true;
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
                if (!v.DisplayText.empty() && v.DisplayText != "ERR")
                    v.Number = std::round(d * 100);
                if (v.DisplayText.empty()) v.DisplayText = "ERR";  // outside 0..1
                break;
            }
            case mkTransferSize: {
                auto n = WholeNumber(*value, 0, kMaxTransferSize);
                v.DisplayText = n ? FormatTransferSize(*n, FSep) : "ERR";
                if (n) v.Number = double(*n);
                break;
            }
            case mkAuditValue: {
                v.DisplayText = *ValueText(*value);
                double d = 0;
                if (auto num = Member(*obj, "numericValue");
                    num && num->get_double().get(d) == SUCCESS)
                    v.Number = d;
                break;
            }
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
    // Real users' data does not depend on the lab run, so a broken lab result keeps it.
    FResults.FieldData[FStrategy] = ReadFieldData(top);
    FResults.FieldData[FStrategy].DecimalSeparator = FSep;
    if (auto lhr = ObjectMember(top, "lighthouseResult"))
        if (auto words = RuntimeErrorOf(*lhr)) return PageError(*words);
    if (!ReadPerformance(top) || !CollectAdviceRefs() || !IndexAudits() || !ReadMetricaValues())
        return false;
    ReadAdvice();
    ReadCategoriesAdvice();
    if (FResults.KeepScreenshot)
        FResults.FinalScreenshot[FStrategy] = FinalScreenshotOf(FAudits.Find("final-screenshot"));
    FResults.TaskResult[FStrategy] = trOK;
    return true;
}

bool TInterpreter::ReadPerformance(const object& top) {
    auto lhr = ObjectMember(top, "lighthouseResult");
    if (!lhr)
        return Fail("URL %d: ответ сервера не содержит метрик, нет объекта \"lighthouseResult\"");
    FLighthouse = *lhr;
    auto categories = ObjectMember(FLighthouse, "categories");
    if (!categories)
        return Fail(
            "URL %d: ответ сервера не содержит метрик, нет объекта "
            "\"lighthouseResult.categories\"");
    FCategories = *categories;
    auto performance = ObjectMember(*categories, "performance");
    if (!performance)
        return Fail(
            "URL %d: ответ сервера не содержит метрик, нет объекта "
            "\"lighthouseResult.categories.performance\"");
    FPerformance = *performance;
    AddMetricaValue(&FPerformance, MetricaTable[0], "score");
    ReadCategoryScores();
    return true;
}

bool TInterpreter::CollectAdviceRefs() {
    auto auditRefs = ArrayMember(FPerformance, "auditRefs");
    if (!auditRefs)
        return Fail(
            "URL %d: ответ сервера не содержит метрик, нет объекта "
            "\"lighthouseResult.categories.performance.auditRefs\"");
    for (element item : *auditRefs) {
        object ref;
        if (item.get_object().get(ref) != SUCCESS) continue;
        std::string id = MemberText(ref, "id");
        std::string group = MemberText(ref, "group");
        if (id.empty() || group.empty()) continue;
        for (size_t g = 0; g < AdviceGroupTable.size(); ++g) {
            if (group == AdviceGroupTable[g].Key) {
                FRefs.AddRef(std::move(id), static_cast<int32_t>(g), MemberText(ref, "title"),
                             MemberText(ref, "description"));
                break;
            }
        }
    }
    return true;
}

bool TInterpreter::IndexAudits() {
    auto audits = ObjectMember(FLighthouse, "audits");
    if (!audits) return Fail("URL %d: ответ сервера не содержит метрик, нет объекта \"audits\"");
    FAudits.Build(*audits);
    auto summary = FAudits.Find("resource-summary");
    if (!summary) return Fail("URL %d: ответ сервера не содержит объекта \"resource-summary\"");
    FSummary = *summary;
    return true;
}

bool TInterpreter::ReadMetricaValues() {
    std::optional<array> items;
    for (size_t i = 1; i < MetricaTable.size(); ++i) {
        const TMetricaInfo& row = MetricaTable[i];
        if (row.Kind == mkAuditValue) {
            auto rowAudit = FAudits.Find(row.Key);
            AddMetricaValue(rowAudit ? &*rowAudit : nullptr, row, "displayValue");
        } else if (row.Kind == mkTransferSize) {
            if (!items) {
                auto details = ObjectMember(FSummary, "details");
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
    return true;
}

void TInterpreter::ReadAdvice() {
    struct TFound {
        TSavings Savings;
        TGAdvice Advice;
    };
    std::vector<TFound> found;
    for (const TGAdviceRef& ref : FRefs) {
        auto audit = FAudits.Find(ref.Key);
        if (!audit) continue;
        const TAuditMembers members(*audit);
        if (!members.Title) continue;
        std::optional<double> score = NumberOf(members.Score);
        if (!IsAdvice(StringOf(members.Mode), score)) continue;
        TGAdvice a;
        a.Title = InternedTextOf(members.Title);
        a.Descr = InternedTextOf(members.Description);
        a.AdviceText = InternedTextOf(members.DisplayValue);
        a.Figures = ReadAdviceFigures(members.MetricSavings, members.Details);
        a.AdviceGroupNdx = ref.AdviceGroupNdx;
        a.AuditId = TInternedText(ref.Key);
        a.Score = score;
        a.Informative = StringOf(members.Mode) == "informative";
        found.push_back({EstimatedSavings(members), std::move(a)});
    }
    // Grouped in the table's order; within a group the largest savings first, ties in the
    // category's order.
    std::stable_sort(found.begin(), found.end(), [](const TFound& x, const TFound& y) {
        if (x.Advice.AdviceGroupNdx != y.Advice.AdviceGroupNdx)
            return x.Advice.AdviceGroupNdx < y.Advice.AdviceGroupNdx;
        return x.Savings > y.Savings;
    });
    TGAdviceList& advice = FResults.AdviceList[FStrategy];
    advice.reserve(found.size());
    for (TFound& f : found) advice.push_back(std::move(f.Advice));
}

// As the service's report lists a category other than performance: a scored audit below 0.9.
bool IsCategoryFailure(std::string_view mode, const std::optional<double>& score) {
    if (mode == "notApplicable" || mode == "manual" || mode == "informative") return false;
    return score && *score < 0.9;
}

void TInterpreter::ReadCategoryScores() {
    for (size_t c = ctAccessibility; c < CategoryTable.size(); ++c) {
        if (!HasCategory(FResults.Categories, static_cast<int>(c))) continue;
        // Read and logged as the performance score is.
        const TMetricaInfo row{CategoryTable[c].Key, CategoryTable[c].Caption, "", mkScore, ""};
        auto category = ObjectMember(FCategories, CategoryTable[c].Key);
        AddMetricaValue(category ? &*category : nullptr, row, "score");
    }
}

void TInterpreter::ReadCategoriesAdvice() {
    for (size_t c = ctAccessibility; c < CategoryTable.size(); ++c) {
        if (!HasCategory(FResults.Categories, static_cast<int>(c))) continue;
        if (auto category = ObjectMember(FCategories, CategoryTable[c].Key))
            ReadCategoryAdvice(static_cast<TCategory>(c), *category);
    }
    FResults.AdviceList[FStrategy].ShareManualChecks();
}

TInternedText TInterpreter::GroupTitle(std::string_view group) {
    if (!FGroupsRead) FGroups = ObjectMember(FLighthouse, "categoryGroups");
    FGroupsRead = true;
    if (!FGroups) return TInternedText(group);
    auto entry = ObjectMember(*FGroups, group);
    std::string_view title = entry ? MemberString(*entry, "title") : std::string_view();
    return TInternedText(title.empty() ? group : title);
}

void TInterpreter::ReadCategoryAdvice(TCategory c, const object& category) {
    auto refs = ArrayMember(category, "auditRefs");
    if (!refs) return;
    // The category's groups in the order it first names them; id and title interned once.
    struct TGroup {
        std::string_view Key;
        TInternedText Id, Title;
    };
    std::vector<TGroup> groups;
    std::vector<TGAdvice> failing, manual;
    for (element item : *refs) {
        object ref;
        if (item.get_object().get(ref) != SUCCESS) continue;
        const std::string_view id = MemberString(ref, "id");
        const std::string_view group = MemberString(ref, "group");
        if (id.empty() || (group == "hidden" && MemberNumber(ref, "weight").value_or(0) == 0))
            continue;
        auto groupIt = std::find_if(groups.begin(), groups.end(),
                                    [&](const TGroup& g) { return g.Key == group; });
        if (groupIt == groups.end()) groupIt = groups.insert(groups.end(), TGroup{group, {}, {}});
        auto audit = FAudits.Find(id);
        if (!audit) continue;
        const TAuditMembers members(*audit);
        const std::string_view mode = StringOf(members.Mode);
        const std::optional<double> score = NumberOf(members.Score);
        const bool isManual = mode == "manual";
        if (!members.Title || (!isManual && !IsCategoryFailure(mode, score))) continue;
        TGAdvice a;
        a.Title = InternedTextOf(members.Title);
        a.Descr = InternedTextOf(members.Description);
        a.AdviceText = InternedTextOf(members.DisplayValue);
        if (!isManual) a.Figures = ReadAdviceFigures(members.MetricSavings, members.Details);
        a.AuditId = TInternedText(id);
        a.Score = score;
        a.Category = c;
        a.Manual = isManual;
        if (!isManual) {
            if (groupIt->Id.empty() && !group.empty()) {
                groupIt->Id = TInternedText(group);
                groupIt->Title = GroupTitle(group);
            }
            a.AdviceGroupNdx = static_cast<int32_t>(groupIt - groups.begin());
            a.Group = groupIt->Id;
            a.GroupTitle = groupIt->Title;
        }
        (isManual ? manual : failing).push_back(std::move(a));
    }
    std::stable_sort(failing.begin(), failing.end(), [](const TGAdvice& x, const TGAdvice& y) {
        return x.AdviceGroupNdx < y.AdviceGroupNdx;
    });
    TGAdviceList& advice = FResults.AdviceList[FStrategy];
    for (auto* list : {&failing, &manual})
        for (TGAdvice& a : *list) advice.push_back(std::move(a));
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
