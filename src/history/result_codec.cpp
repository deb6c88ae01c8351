#include "history/result_codec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "engine/grid_columns.h"
#include "engine/grid_sort.h"
#include "engine/metrica.h"

namespace velmora::history {
namespace {

constexpr char kFieldSep = '\x1f';
constexpr char kItemSep = '\x1e';

// The separators never occur in the service's texts; should one arrive it becomes a space
// rather than shifting every field after it.
void AppendClean(std::string& out, std::string_view text) {
    for (char c : text) out += (c == kFieldSep || c == kItemSep) ? ' ' : c;
}

// Takes the text up to the next sep (or the end) off the front of rest.
std::string_view NextField(std::string_view& rest, char sep) {
    const size_t end = rest.find(sep);
    const std::string_view field = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return field;
}

std::vector<std::string_view> Split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(sep, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

int64_t ToInt(std::string_view s) {
    int64_t v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

// Shortest text that reads back as the same double.
void AppendNumber(std::string& out, double v) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec == std::errc()) out.append(buf, end);
}

std::optional<double> ToDouble(std::string_view s) {
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

// One digit from 0 to last.
template <typename E>
std::optional<E> ToEnum(std::string_view s, E last) {
    if (s.size() != 1 || s[0] < '0' || s[0] > '0' + static_cast<int>(last)) return std::nullopt;
    return static_cast<E>(s[0] - '0');
}

// The other categories follow the catalogue's texts, which readers of performance-only rows
// stop after: the set asked for as a number, then the three scores' texts. A performance-only
// row has none of it.
void AppendCategoryTexts(std::string& out, const TURLTaskResults& r, TMetricaStrategy s) {
    if (r.Categories == kPerformanceOnly) return;
    out += kFieldSep;
    out += std::to_string(r.Categories);
    for (size_t c = ctAccessibility; c < CategoryTable.size(); ++c) {
        out += kFieldSep;
        if (const TMetricaValue* v = r.MetricaValues.GetValueByKey(CategoryTable[c].Key, s))
            AppendClean(out, v->DisplayText);
    }
}

void DecodeCategoryTexts(std::string_view rest, TMetricaStrategy s, TURLTaskResults& r) {
    if (rest.empty()) return;
    const int64_t set = ToInt(NextField(rest, kFieldSep));
    if (set <= 0 || set > kEveryCategory) return;
    r.Categories = static_cast<TCategorySet>(set) | kPerformanceOnly;
    for (size_t c = ctAccessibility; c < CategoryTable.size() && !rest.empty(); ++c) {
        const std::string_view cell = NextField(rest, kFieldSep);
        if (cell.empty()) continue;
        r.MetricaValues.push_back(TMetricaValue{CategoryTable[c].Key, s, std::string(cell),
                                                ColNumByKey(CategoryTable[c].Key)});
    }
}

// An advice item of another category: performance's four fields, then the category, "1" for a
// manual check, the group's id and title. Readers of four-field items pass over it.
constexpr size_t kCategoryAdviceFields = 8;

// The items' savings and resources follow them in one item of two fields, "0" (no text id is
// 0) and the figures of each item in order, kFiguresSep-separated; so readers that know nothing
// of figures pass over that item and keep every other. An item's figures: its savings
// "ms,bytes,LCP,FCP,CLS,TBT,INP" (empty where none), then per resource kResourceSep and
// "wastedMs,wastedBytes,url".
constexpr std::string_view kFiguresItemId = "0";
constexpr char kFiguresSep = '\x1d';
constexpr char kResourceSep = '\x1c';

void AppendFloat(std::string& out, float v) {
    if (std::isnan(v)) return;
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec == std::errc()) out.append(buf, end);
}

float ToFloat(std::string_view s) {
    float v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return kNoSaving;
    return v;
}

void AppendFigures(std::string& out, const TAdviceFigures& figures) {
    if (figures.Empty()) return;
    const TAdviceSavings& s = figures.Savings();
    AppendFloat(out, s.Ms);
    out += ',';
    AppendFloat(out, s.Bytes);
    for (float m : s.Metric) {
        out += ',';
        AppendFloat(out, m);
    }
    for (const TAdviceResource& r : figures.Resources()) {
        out += kResourceSep;
        AppendFloat(out, r.WastedMs);
        out += ',';
        AppendFloat(out, r.WastedBytes);
        out += ',';
        for (char c : r.Url.str())
            out += (c == kFieldSep || c == kItemSep || c == kFiguresSep || c == kResourceSep) ? ' '
                                                                                              : c;
    }
}

TAdviceFigures DecodeFigures(std::string_view text) {
    if (text.empty()) return {};
    std::string_view rest = text;
    std::string_view savingsText = NextField(rest, kResourceSep);
    TAdviceSavings savings;
    savings.Ms = ToFloat(NextField(savingsText, ','));
    savings.Bytes = ToFloat(NextField(savingsText, ','));
    for (float& m : savings.Metric) m = ToFloat(NextField(savingsText, ','));
    std::vector<TAdviceResource> resources;
    while (!rest.empty()) {
        std::string_view r = NextField(rest, kResourceSep);
        const float ms = ToFloat(NextField(r, ','));
        const float bytes = ToFloat(NextField(r, ','));
        if (!r.empty()) resources.push_back({TInternedText(r), ms, bytes});
    }
    return TAdviceFigures(savings, resources);
}

bool IsFiguresItem(std::string_view item) {
    return item.substr(0, item.find(kFieldSep)) == kFiguresItemId;
}

}  // namespace

std::string NumberColumnList() {
    std::string list;
    for (const TNumberColumn& c : kNumberColumns) {
        if (!list.empty()) list += ", ";
        list += c.Column;
    }
    return list;
}

TStoredNumbers NumbersFromTexts(std::string_view texts) {
    TURLTaskResults r;
    TStoredStrategy row;
    row.Texts = texts;
    DecodeStrategy(msDesktop, row, {}, r);
    TStoredNumbers numbers{};
    for (size_t c = 0; c < kNumberColumns.size(); ++c) {
        const TMetricaValue* v = r.MetricaValues.GetValueByKey(kNumberColumns[c].Key, msDesktop);
        if (!v) continue;
        std::optional<double> n = ParseGridNumber(v->DisplayText);
        // The cell said KiB to one decimal; bytes are the closest whole number to that.
        if (n && c >= kScoreAndTimings && c < MetricaTable.size()) n = std::round(*n * 1024);
        numbers[c] = n;
    }
    return numbers;
}

TCategorySet StoredCategories(std::string_view texts) {
    for (size_t i = 0; i < MetricaTable.size() && !texts.empty(); ++i) NextField(texts, kFieldSep);
    TURLTaskResults r;
    DecodeCategoryTexts(texts, msDesktop, r);
    return r.Categories;
}

std::array<std::optional<double>, CategoryTable.size()> StoredCategoryScores(
    std::string_view texts) {
    std::array<std::optional<double>, CategoryTable.size()> scores{};
    for (size_t i = 0; i < MetricaTable.size() && !texts.empty(); ++i) NextField(texts, kFieldSep);
    TURLTaskResults r;
    DecodeCategoryTexts(texts, msDesktop, r);
    for (const TMetricaValue& v : r.MetricaValues)
        scores[ColumnCategory(v.ColNum)] = ParseGridNumber(v.DisplayText);
    return scores;
}

TEncodedStrategy EncodeStrategy(const TURLTaskResults& r, TMetricaStrategy s,
                                const TAdviceTextId& adviceId) {
    TEncodedStrategy e;
    e.Status = r.TaskResult[s];
    e.ErrorCode = r.ErrorCode[s];
    e.HttpStatus = r.HttpStatus[s];
    e.Retries = r.Retries[s];
    e.ErrorMessage = r.ErrorMessage[s];
    e.Field = EncodeFieldData(r.FieldData[s]);
    for (size_t row = 0; row < MetricaTable.size(); ++row) {
        if (row) e.Texts += kFieldSep;
        const TMetricaValue* v = r.MetricaValues.GetValueByKey(MetricaTable[row].Key, s);
        if (!v) continue;
        AppendClean(e.Texts, v->DisplayText);
    }
    AppendCategoryTexts(e.Texts, r, s);
    // A value that came without its number (made by hand, not by an answer) keeps what its text
    // says, as a row of an earlier version does.
    std::optional<TStoredNumbers> fromTexts;
    for (size_t c = 0; c < kNumberColumns.size(); ++c) {
        const TMetricaValue* v = r.MetricaValues.GetValueByKey(kNumberColumns[c].Key, s);
        if (!v) continue;
        if (std::isfinite(v->Number)) {
            e.Numbers[c] = v->Number;
            continue;
        }
        if (!fromTexts) fromTexts = NumbersFromTexts(e.Texts);
        e.Numbers[c] = (*fromTexts)[c];
    }
    e.ServiceCode = r.ServiceCode[s];
    e.ServiceText = r.ServiceText[s];
    std::string figures;
    bool anyFigures = false;
    for (const TGAdvice& a : r.AdviceList[s]) {
        if (!e.Advice.empty()) figures += kFiguresSep;
        AppendFigures(figures, a.Figures);
        anyFigures = anyFigures || !a.Figures.Empty();
        if (!e.Advice.empty()) e.Advice += kItemSep;
        e.Advice += std::to_string(adviceId(a));
        e.Advice += kFieldSep;
        e.Advice += std::to_string(a.AdviceGroupNdx);
        e.Advice += kFieldSep;
        AppendClean(e.Advice, a.AdviceText.str());
        e.Advice += kFieldSep;
        if (a.Score) AppendNumber(e.Advice, *a.Score);
        if (a.Category == ctPerformance && !a.Informative) continue;
        const char* mode = a.Manual ? "1" : a.Informative ? "2" : "0";
        for (std::string_view f :
             {std::to_string(a.Category), std::string(mode), a.Group.str(), a.GroupTitle.str()}) {
            e.Advice += kFieldSep;
            AppendClean(e.Advice, f);
        }
    }
    if (anyFigures) {
        e.Advice += kItemSep;
        e.Advice += kFiguresItemId;
        e.Advice += kFieldSep;
        e.Advice += figures;
    }
    return e;
}

void DecodeStrategy(TMetricaStrategy s, const TStoredStrategy& row,
                    const TAdviceTextById& adviceText, TURLTaskResults& r) {
    r.TaskResult[s] = row.Status;
    r.ErrorCode[s] = row.ErrorCode;
    r.HttpStatus[s] = row.HttpStatus;
    r.Retries[s] = static_cast<uint8_t>(std::clamp(row.Retries, 0, 255));
    r.ErrorMessage[s] = std::string(row.ErrorMessage);
    r.ServiceCode[s] = std::string(row.ServiceCode);
    r.ServiceText[s] = std::string(row.ServiceText);
    r.FieldData[s] = DecodeFieldData(row.Field);
    // Both strategies' values in one allocation and no growth slack, as the workers leave
    // theirs: a run opened costs no more memory than the same run checked.
    const bool categories = static_cast<size_t>(std::count(row.Texts.begin(), row.Texts.end(),
                                                           kFieldSep)) >= MetricaTable.size();
    if (r.MetricaValues.empty())
        r.MetricaValues.reserve(2 * (MetricaTable.size() + (categories ? 3 : 0)));
    std::string_view rest = row.Texts;
    for (size_t i = 0; i < MetricaTable.size() && !rest.empty(); ++i) {
        const std::string_view cell = NextField(rest, kFieldSep);
        if (cell.empty()) continue;
        const int32_t col = ColNumByKey(MetricaTable[i].Key);
        r.MetricaValues.push_back(
            TMetricaValue{MetricaTable[i].Key, s, std::string(cell), col > 0 ? col : 0});
    }
    DecodeCategoryTexts(rest, s, r);
    for (TMetricaValue& v : r.MetricaValues) {
        if (v.Strategy != s) continue;
        for (size_t c = 0; c < kNumberColumns.size(); ++c)
            if (kNumberColumns[c].Key == v.Key && row.Numbers[c]) v.Number = *row.Numbers[c];
    }
    if (row.Advice.empty() || !adviceText) return;
    std::vector<std::string_view> items = Split(row.Advice, kItemSep);
    std::vector<std::string_view> figures;
    if (items.size() > 1 && IsFiguresItem(items.back())) {
        std::string_view all = items.back().substr(kFiguresItemId.size() + 1);
        figures = Split(all, kFiguresSep);
        items.pop_back();
    }
    TGAdviceList& list = r.AdviceList[s];
    list.reserve(items.size());  // no growth slack: an opened run costs what a live one does
    for (size_t i = 0; i < items.size(); ++i) {
        // Files of the first version have no score field.
        const std::vector<std::string_view> f = Split(items[i], kFieldSep);
        if (f.size() != 3 && f.size() != 4 && f.size() != kCategoryAdviceFields) continue;
        TAdviceText t = adviceText(ToInt(f[0]));
        TGAdvice a;
        a.Title = std::move(t.Title);
        a.AdviceText = TInternedText(f[2]);
        a.Descr = std::move(t.Descr);
        a.AdviceGroupNdx = static_cast<int32_t>(ToInt(f[1]));
        a.AuditId = std::move(t.AuditId);
        if (f.size() >= 4) a.Score = ToDouble(f[3]);
        if (f.size() == kCategoryAdviceFields) {
            const auto category = ToEnum(f[4], ctAgenticBrowsing);
            if (!category) continue;
            a.Category = *category;
            a.Manual = f[5] == "1";
            a.Informative = f[5] == "2";
            a.Group = TInternedText(f[6]);
            a.GroupTitle = TInternedText(f[7]);
        }
        if (i < figures.size()) a.Figures = DecodeFigures(figures[i]);
        list.push_back(std::move(a));
    }
    list.ShareManualChecks();
}

void AppendAdviceTextIds(std::string_view advice, std::vector<int64_t>& ids) {
    if (advice.empty()) return;
    for (std::string_view item : Split(advice, kItemSep))
        if (!IsFiguresItem(item)) ids.push_back(ToInt(item.substr(0, item.find(kFieldSep))));
}

std::string EncodeFieldData(const TFieldData& data) {
    std::string out;
    if (data.Empty()) return out;
    for (int v : {int{data.Source}, int{data.Overall}, int{data.Verdict}}) {
        out += static_cast<char>('0' + v);
        out += kFieldSep;
    }
    out += data.DecimalSeparator;
    for (const TFieldMetricValue& m : data.Metrics) {
        out += kFieldSep;
        if (m.Present) AppendNumber(out, m.P75);
        out += kFieldSep;
        out += static_cast<char>('0' + m.Category);
    }
    return out;
}

TFieldData DecodeFieldData(std::string_view text) {
    if (text.empty()) return {};
    std::string_view rest = text;
    const auto source = ToEnum(NextField(rest, kFieldSep), fsOrigin);
    const auto overall = ToEnum(NextField(rest, kFieldSep), fcSlow);
    const auto verdict = ToEnum(NextField(rest, kFieldSep), cvFailed);
    const std::string_view separator = NextField(rest, kFieldSep);
    if (!source || !overall || !verdict || separator.size() != 1) return {};
    TFieldData data;
    data.Source = *source;
    data.Overall = *overall;
    data.Verdict = *verdict;
    data.DecimalSeparator = separator[0];
    for (TFieldMetricValue& m : data.Metrics) {
        // Every metric has both fields, the last one ends the text.
        if (rest.empty()) return {};
        const std::optional<double> p75 = ToDouble(NextField(rest, kFieldSep));
        const std::string_view category = NextField(rest, kFieldSep);
        const auto parsed = ToEnum(category, fcSlow);
        if (!parsed) return {};
        m = {p75.has_value(), p75.value_or(0), *parsed};
    }
    if (!rest.empty() || text.back() == kFieldSep) return {};
    return data;
}

}  // namespace velmora::history
