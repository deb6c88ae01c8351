#include "engine/metrica.h"

#include "base/text.h"
#include "engine/grid_columns.h"

namespace velmora {

int32_t ColNumByKey(std::string_view key) {
    if (key == MetricaTable[0].Key) return gcScore;
    for (size_t i = 1; i < MetricaTable.size(); ++i) {
        if (MetricaTable[i].Key == key) return gcFirstMetric + static_cast<int32_t>(i) - 1;
    }
    for (size_t c = ctAccessibility; c < CategoryTable.size(); ++c)
        if (CategoryTable[c].Key == key) return CategoryColumn(static_cast<TCategory>(c));
    return -1;
}

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

std::optional<TCategorySet> ParseCategories(std::string_view text) {
    TCategorySet set = kPerformanceOnly;
    bool any = false;
    while (true) {
        const size_t comma = text.find(',');
        const std::string id = AsciiLower(TrimBlanks(text.substr(0, comma)));
        if (id == "all") {
            set |= kAllCategories;
        } else {
            size_t c = 0;
            while (c < CategoryTable.size() && CategoryTable[c].Key != id) ++c;
            if (c == CategoryTable.size()) return std::nullopt;
            set |= static_cast<TCategorySet>(1u << c);
        }
        any = true;
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return any ? std::optional<TCategorySet>(set) : std::nullopt;
}

std::string CategoriesText(TCategorySet set) {
    std::string text;
    for (size_t c = 0; c < CategoryTable.size(); ++c) {
        if (!HasCategory(set | kPerformanceOnly, static_cast<int>(c))) continue;
        if (!text.empty()) text += ',';
        text += CategoryTable[c].Key;
    }
    return text;
}

std::string CategoryIdsText() {
    std::string text;
    for (const TCategoryInfo& c : CategoryTable) {
        text += c.Key;
        text += ", ";
    }
    return text + "all";
}

}  // namespace velmora
