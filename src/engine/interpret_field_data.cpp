#include <string_view>

#include "engine/interpret.h"
#include "engine/json_members.h"

namespace velmora {
namespace {

using namespace json;

// Beyond any real page; also keeps the texts' integer arithmetic far from overflow.
constexpr double kMaxPercentile = 1e9;

TFieldCategory CategoryOf(std::string_view text) {
    if (text == "FAST") return fcFast;
    if (text == "AVERAGE") return fcAverage;
    if (text == "SLOW") return fcSlow;
    return fcNone;
}

// Fills data from one experience; false when it carries no usable metric.
bool ReadExperience(const object& experience, TFieldData& data) {
    auto metrics = ObjectMember(experience, "metrics");
    if (!metrics) return false;
    bool any = false;
    for (size_t i = 0; i < FieldMetricTable.size(); ++i) {
        const auto m = static_cast<TFieldMetric>(i);
        auto metric = ObjectMember(*metrics, FieldMetricTable[i].Key);
        if (!metric) continue;
        auto p75 = MemberNumber(*metric, "percentile");
        if (!p75 || *p75 < 0 || *p75 > kMaxPercentile) continue;
        TFieldMetricValue& v = data[m];
        v.Present = true;
        v.P75 = m == fmCLS ? *p75 / 100 : *p75;
        v.Category = CategoryOf(MemberString(*metric, "category"));
        if (v.Category == fcNone) v.Category = FieldCategoryByBounds(m, v.P75);
        any = true;
    }
    if (any) data.Overall = CategoryOf(MemberString(experience, "overall_category"));
    return any;
}

}  // namespace

TFieldData ReadFieldData(const object& answer) {
    TFieldData data;
    if (auto page = ObjectMember(answer, "loadingExperience");
        page && ReadExperience(*page, data)) {
        bool fallback = false;
        if (page->at_key("origin_fallback").get_bool().get(fallback) != SUCCESS) fallback = false;
        data.Source = fallback ? fsOrigin : fsPage;
    } else if (auto origin = ObjectMember(answer, "originLoadingExperience");
               origin && ReadExperience(*origin, data)) {
        data.Source = fsOrigin;
    } else {
        return {};
    }
    data.Verdict = CwvVerdictOf(data);
    return data;
}

}  // namespace velmora
