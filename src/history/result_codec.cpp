#include "history/result_codec.h"

#include <charconv>
#include <vector>

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

}  // namespace

TEncodedStrategy EncodeStrategy(const TURLTaskResults& r, TMetricaStrategy s,
                                const TAdviceTextId& adviceId) {
    TEncodedStrategy e;
    e.Status = r.TaskResult[s];
    e.ErrorCode = r.ErrorCode[s];
    for (size_t row = 0; row < MetricaTable.size(); ++row) {
        if (row) e.Texts += kFieldSep;
        const TMetricaValue* v = r.MetricaValues.GetValueByKey(MetricaTable[row].Key, s);
        if (!v) continue;
        AppendClean(e.Texts, v->DisplayText);
        if (row < kNumericMetrics) e.Numbers[row] = ParseGridNumber(v->DisplayText);
    }
    for (const TGAdvice& a : r.AdviceList[s]) {
        if (!e.Advice.empty()) e.Advice += kItemSep;
        e.Advice += std::to_string(adviceId(a.Title, a.Descr));
        e.Advice += kFieldSep;
        e.Advice += std::to_string(a.AdviceGroupNdx);
        e.Advice += kFieldSep;
        AppendClean(e.Advice, a.AdviceText);
    }
    return e;
}

void DecodeStrategy(TMetricaStrategy s, TTaskResult status, int32_t errorCode,
                    std::string_view texts, std::string_view advice,
                    const TAdviceTextById& adviceText, TURLTaskResults& r) {
    r.TaskResult[s] = status;
    r.ErrorCode[s] = errorCode;
    const std::vector<std::string_view> cells = Split(texts, kFieldSep);
    // No growth slack, as the workers leave theirs: a run opened costs no more memory than the
    // same run checked. Desktop comes first and makes room for both strategies' values.
    r.MetricaValues.reserve(r.MetricaValues.size() +
                            MetricaTable.size() * (s == msDesktop ? 2 : 1));
    for (size_t row = 0; row < cells.size() && row < MetricaTable.size(); ++row) {
        if (cells[row].empty()) continue;
        const int32_t col = ColNumByKey(MetricaTable[row].Key);
        r.MetricaValues.push_back(
            TMetricaValue{MetricaTable[row].Key, s, std::string(cells[row]), col > 0 ? col : 0});
    }
    if (advice.empty()) return;
    const std::vector<std::string_view> items = Split(advice, kItemSep);
    r.AdviceList[s].reserve(items.size());
    for (std::string_view item : items) {
        const std::vector<std::string_view> f = Split(item, kFieldSep);
        if (f.size() != 3) continue;
        TAdviceText t = adviceText(ToInt(f[0]));
        r.AdviceList[s].push_back(TGAdvice{std::move(t.Title), std::string(f[2]),
                                           std::move(t.Descr), static_cast<int32_t>(ToInt(f[1])),
                                           TInternedText(), std::nullopt});
    }
}

}  // namespace velmora::history
