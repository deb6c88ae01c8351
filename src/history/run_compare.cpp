#include "history/run_compare.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>

#include "engine/grid_sort.h"

namespace velmora::history {

std::vector<int> ComparedCsvColumns(TCategorySet asked) {
    std::vector<int> cols{gcScore};
    for (int col = gcFirstMetric; col < gcFirstMetric + kLabTimings; ++col) cols.push_back(col);
    for (int col : {gcLcpP75, gcInpP75, gcClsP75}) cols.push_back(col);
    for (int col = gcAccessibility; col < gcColumnEnd; ++col)
        if (HasCategory(asked, ColumnCategory(col))) cols.push_back(col);
    return cols;
}
namespace {

enum class TUnit { uNone, uMs, uS, uKb };

std::string_view Trimmed(std::string_view t) {
    while (!t.empty() && (t.back() == ' ' || t.back() == '\xA0' || t.back() == '\xC2'))
        t.remove_suffix(1);
    return t;
}

TUnit UnitOf(std::string_view text) {
    const std::string_view t = Trimmed(text);
    auto endsWith = [&](std::string_view u) {
        return t.size() >= u.size() && t.substr(t.size() - u.size()) == u;
    };
    if (endsWith("ms")) return TUnit::uMs;
    if (endsWith("kb")) return TUnit::uKb;
    if (endsWith("s")) return TUnit::uS;
    return TUnit::uNone;
}

// Digits after the decimal separator in the number of a cell text ("1.25 s": 2).
int DecimalsOf(std::string_view text) {
    const std::string_view t = Trimmed(text);
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '.' && t[i] != ',') continue;
        size_t digits = 0;
        while (i + 1 + digits < t.size() && t[i + 1 + digits] >= '0' && t[i + 1 + digits] <= '9')
            ++digits;
        // "11,890": a thousands separator, not a fraction.
        if (t[i] == ',' && digits == 3) continue;
        return static_cast<int>(digits);
    }
    return 0;
}

}  // namespace

std::vector<TComparedUrl> PairRuns(const TURLTaskInfoList& older, const TURLTaskInfoList& newer) {
    std::unordered_map<std::string_view, const TURLTaskInfo*> olderByUrl;
    olderByUrl.reserve(older.Count());
    for (size_t i = 0; i < older.Count(); ++i) olderByUrl.emplace(older[i].URL, &older[i]);
    std::vector<TComparedUrl> rows;
    rows.reserve(std::max(older.Count(), newer.Count()));
    for (size_t i = 0; i < newer.Count(); ++i) {
        const TURLTaskInfo* match = nullptr;
        if (auto it = olderByUrl.find(newer[i].URL); it != olderByUrl.end()) {
            match = it->second;
            it->second = nullptr;  // paired: not listed again below
        }
        rows.push_back({newer[i].URL, match, &newer[i]});
    }
    for (size_t i = 0; i < older.Count(); ++i) {
        auto it = olderByUrl.find(older[i].URL);
        if (it != olderByUrl.end() && it->second == &older[i])
            rows.push_back({older[i].URL, &older[i], nullptr});
    }
    return rows;
}

std::string FormatChange(std::string_view older, std::string_view newer, char decimalSep) {
    const std::optional<double> a = ParseGridNumber(older);
    const std::optional<double> b = ParseGridNumber(newer);
    if (!a || !b) return {};
    const TUnit unit = UnitOf(newer) != TUnit::uNone ? UnitOf(newer) : UnitOf(older);
    double change = *b - *a;
    // ParseGridNumber counts seconds in milliseconds.
    if (unit == TUnit::uS) change /= 1000.0;
    // A comparison writes hundreds of thousands of these: no pow, no printf.
    constexpr double kScales[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
    const int decimals = std::min(std::max(DecimalsOf(older), DecimalsOf(newer)), 6);
    const double scale = kScales[decimals];
    change = std::round(change * scale) / scale;

    char buf[64];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, std::fabs(change), std::chars_format::fixed, decimals);
    std::string number(buf, ec == std::errc() ? end : buf);
    if (decimalSep != '.') std::replace(number.begin(), number.end(), '.', decimalSep);
    std::string out = change > 0 ? "+" + number : (change < 0 ? "-" + number : std::string("0"));
    switch (unit) {
        case TUnit::uMs:
            return out + " ms";
        case TUnit::uS:
            return out + " s";
        case TUnit::uKb:
            return out + " kb";
        default:
            return out;
    }
}

std::optional<double> ChangeValue(std::string_view older, std::string_view newer) {
    const std::optional<double> a = ParseGridNumber(older);
    const std::optional<double> b = ParseGridNumber(newer);
    if (!a || !b) return std::nullopt;
    return *b - *a;
}

TChangeVerdict ChangeVerdictOf(int col, std::string_view older, std::string_view newer) {
    if (!IsComparedColumn(col)) return TChangeVerdict::cvNone;
    const std::optional<double> change = ChangeValue(older, newer);
    if (!change) return TChangeVerdict::cvNone;
    // Below the texts' own precision the values are the same, whatever the binary fractions say.
    const int decimals = std::max(DecimalsOf(older), DecimalsOf(newer));
    const double unit = (UnitOf(newer) == TUnit::uS || UnitOf(older) == TUnit::uS) ? 1000.0 : 1.0;
    if (std::fabs(*change) < 0.5 * unit * std::pow(10.0, -decimals)) return TChangeVerdict::cvSame;
    const bool higherIsBetter = IsCategoryScoreColumn(col);
    return (*change > 0) == higherIsBetter ? TChangeVerdict::cvBetter : TChangeVerdict::cvWorse;
}

}  // namespace velmora::history
