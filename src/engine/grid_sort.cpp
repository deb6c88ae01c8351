#include "engine/grid_sort.h"

#include <algorithm>
#include <charconv>
#include <numeric>

#include "base/utf8.h"
#include "engine/grid_text.h"

namespace velmora {
namespace {

// Yields the UTF-16 code units of UTF-8 text, ASCII letters lower-cased.
class TUtf16Units {
  public:
    explicit TUtf16Units(std::string_view s) : FText(s) {}

    // False at the end.
    bool Next(uint32_t& unit) {
        if (FLow) {
            unit = FLow;
            FLow = 0;
            return true;
        }
        if (FPos >= FText.size()) return false;
        const auto b = static_cast<unsigned char>(FText[FPos]);
        if (b < 0x80) {
            ++FPos;
            unit = (b >= 'A' && b <= 'Z') ? b + 32u : b;
            return true;
        }
        const TUtf8Char ch = DecodeUtf8At(FText, FPos);
        if (ch.Length == 0) {
            ++FPos;
            unit = b;
            return true;
        }
        FPos += ch.Length;
        uint32_t cp = ch.CodePoint;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit = 0xD800u + (cp >> 10);
            FLow = 0xDC00u + (cp & 0x3FFu);
        } else {
            unit = cp;
        }
        return true;
    }

  private:
    std::string_view FText;
    size_t FPos = 0;
    uint32_t FLow = 0;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Spaces, tabs, U+00A0 and U+202F (the service writes its units after a no-break space).
size_t BlankLength(std::string_view s, size_t pos) {
    if (pos >= s.size()) return 0;
    if (s[pos] == ' ' || s[pos] == '\t') return 1;
    if (s.substr(pos, 2) == "\xC2\xA0") return 2;
    if (s.substr(pos, 3) == "\xE2\x80\xAF") return 3;
    return 0;
}

size_t SkipBlanks(std::string_view s, size_t pos) {
    while (size_t n = BlankLength(s, pos)) pos += n;
    return pos;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != b[i]) return false;
    }
    return true;
}

int Sign(double d) {
    return d < 0 ? -1 : d > 0 ? 1 : 0;
}

bool IsTextColumn(int col) {
    return col == gcURL || col == gcError;
}

// The info column shows an icon, so it has no order.
bool IsSortable(int col) {
    return col >= 0 && col < gcColumnEnd && col != gcInfo;
}

}  // namespace

int CompareGridText(std::string_view a, std::string_view b) {
    TUtf16Units ua(a), ub(b);
    for (;;) {
        uint32_t x = 0, y = 0;
        const bool hasA = ua.Next(x);
        const bool hasB = ub.Next(y);
        if (!hasA || !hasB) return hasA ? 1 : hasB ? -1 : 0;
        if (x != y) return x < y ? -1 : 1;
    }
}

int CompareNaturalText(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    size_t i = 0;
    while (i < a.size() && i < b.size() && lower(a[i]) == lower(b[i])) ++i;
    size_t start = i;
    while (start > 0 && IsDigit(a[start - 1])) --start;
    if (start < a.size() && start < b.size() && IsDigit(a[start]) && IsDigit(b[start])) {
        size_t endA = start, endB = start;
        while (endA < a.size() && IsDigit(a[endA])) ++endA;
        while (endB < b.size() && IsDigit(b[endB])) ++endB;
        std::string_view da = a.substr(start, endA - start), db = b.substr(start, endB - start);
        const size_t zerosA = std::min(da.find_first_not_of('0'), da.size() - 1);
        const size_t zerosB = std::min(db.find_first_not_of('0'), db.size() - 1);
        da.remove_prefix(zerosA);
        db.remove_prefix(zerosB);
        // More digits is the larger number; as many, the digits decide.
        if (da.size() != db.size()) return da.size() < db.size() ? -1 : 1;
        if (const int c = da.compare(db)) return c < 0 ? -1 : 1;
        if (const int rest = CompareNaturalText(a.substr(endA), b.substr(endB))) return rest;
        return zerosA < zerosB ? -1 : zerosA > zerosB ? 1 : 0;
    }
    // The rest compares as text from the start of the character that differs.
    while (start > 0 && (static_cast<unsigned char>(a[start]) & 0xC0) == 0x80) --start;
    return CompareGridText(a.substr(start), b.substr(start));
}

std::optional<double> ParseGridNumber(std::string_view text) {
    size_t pos = SkipBlanks(text, 0);
    std::string number;
    if (pos < text.size() && text[pos] == '-') number += text[pos++];
    if (pos >= text.size() || !IsDigit(text[pos])) return std::nullopt;
    bool decimal = false;
    while (pos < text.size()) {
        const char c = text[pos];
        if (IsDigit(c)) {
            number += c;
            ++pos;
            continue;
        }
        if ((c != ',' && c != '.') || decimal) break;
        size_t digits = 0;
        while (pos + 1 + digits < text.size() && IsDigit(text[pos + 1 + digits])) ++digits;
        if (digits == 0) break;
        if (c == ',' && digits == 3) {
            ++pos;  // thousands separator
            continue;
        }
        decimal = true;
        number += '.';
        ++pos;
    }
    pos = SkipBlanks(text, pos);
    size_t end = text.size();
    while (end > pos) {
        size_t back = 0;
        for (size_t n : {1, 2, 3})
            if (end >= pos + n && BlankLength(text, end - n) == n) back = n;
        if (!back) break;
        end -= back;
    }
    const std::string_view unit = text.substr(pos, end - pos);
    double scale = 1;
    if (EqualsAsciiNoCase(unit, "s"))
        scale = 1000;
    else if (!unit.empty() && !EqualsAsciiNoCase(unit, "ms") && !EqualsAsciiNoCase(unit, "kb"))
        return std::nullopt;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || ptr != number.data() + number.size()) return std::nullopt;
    return value * scale;
}

TGridSortKey MakeGridSortKey(std::string_view text) {
    TGridSortKey key;
    if (text.empty()) return key;
    if (auto v = ParseGridNumber(text)) {
        key.Rank = TGridSortKey::rkNumber;
        key.Value = *v;
    } else {
        key.Rank = TGridSortKey::rkText;
        key.Text = std::string(text);
    }
    return key;
}

int CompareGridSortKeys(const TGridSortKey& a, const TGridSortKey& b) {
    if (a.Rank != b.Rank) return a.Rank < b.Rank ? -1 : 1;
    switch (a.Rank) {
        case TGridSortKey::rkNumber:
            return Sign(a.Value - b.Value);
        case TGridSortKey::rkText:
            return CompareGridText(a.Text, b.Text);
        case TGridSortKey::rkEmpty:
            break;
    }
    return 0;
}

int CompareGridRows(const TURLTaskInfo* a, const TURLTaskInfo* b, TMetricaStrategy s, int col) {
    if (!IsSortable(col)) return 0;
    if (col == gcNumber) {
        const int32_t na = a ? a->Num : 0, nb = b ? b->Num : 0;
        return na < nb ? -1 : na > nb ? 1 : 0;
    }
    const std::string ta = CellText(a, s, col), tb = CellText(b, s, col);
    if (IsTextColumn(col)) return CompareNaturalText(ta, tb);
    return CompareGridSortKeys(MakeGridSortKey(ta), MakeGridSortKey(tb));
}

void SortGridRows(std::vector<TURLTaskInfo*>& rows, TMetricaStrategy s, int col, bool ascending) {
    if (!IsSortable(col) || rows.size() < 2) return;
    std::vector<uint32_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0u);
    // An empty cell tells nothing about its row: it goes below the others either way, so
    // "worst first" starts with the worst checked page.
    std::vector<bool> empty(rows.size(), false);
    auto sortBy = [&](auto&& cmp) {
        std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
            if (empty[x] != empty[y]) return static_cast<bool>(empty[y]);
            return ascending ? cmp(x, y) < 0 : cmp(y, x) < 0;
        });
    };
    if (col == gcNumber) {
        sortBy(
            [&](uint32_t x, uint32_t y) { return CompareGridRows(rows[x], rows[y], s, gcNumber); });
    } else if (IsTextColumn(col)) {
        std::vector<std::string> texts(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            texts[i] = CellText(rows[i], s, col);
            empty[i] = texts[i].empty();
        }
        sortBy([&](uint32_t x, uint32_t y) { return CompareNaturalText(texts[x], texts[y]); });
    } else {
        std::vector<TGridSortKey> keys(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            keys[i] = MakeGridSortKey(CellText(rows[i], s, col));
            empty[i] = keys[i].Rank == TGridSortKey::rkEmpty;
        }
        sortBy([&](uint32_t x, uint32_t y) { return CompareGridSortKeys(keys[x], keys[y]); });
    }
    std::vector<TURLTaskInfo*> sorted(rows.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = rows[order[i]];
    rows.swap(sorted);
}

}  // namespace velmora
