#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "engine/interpret.h"
#include "engine/json_members.h"
#include "http/url.h"

namespace velmora {
namespace {

using namespace json;

// Finite numbers only; a float holds every whole millisecond and byte count of a real page.
float SavingOf(const object& o, std::string_view name) {
    const std::optional<double> v = MemberNumber(o, name);
    return v && std::isfinite(*v) ? static_cast<float>(*v) : kNoSaving;
}

bool IsWebAddress(std::string_view url) {
    const std::string_view head = url.substr(0, 8);
    const std::string lower = AsciiLower(head);
    if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) return false;
    return http::ParseUrl(url).has_value();
}

void AddResource(const object& item, std::vector<TAdviceResource>& out) {
    const std::string_view url = MemberString(item, "url");
    if (url.empty() || !IsWebAddress(url)) return;
    out.push_back({TInternedText(url), SavingOf(item, "wastedMs"), SavingOf(item, "wastedBytes")});
}

// Larger first; a missing figure ranks below any given one.
bool Larger(float a, float b) {
    if (std::isnan(b)) return !std::isnan(a);
    return !std::isnan(a) && a > b;
}

}  // namespace

TAdviceFigures ReadAdviceFigures(const std::optional<element>& metricSavings,
                                 const std::optional<element>& details) {
    TAdviceSavings savings;
    object o;
    if (metricSavings && metricSavings->get_object().get(o) == SUCCESS)
        for (size_t m = 0; m < kSavingsMetricKeys.size(); ++m)
            savings.Metric[m] = SavingOf(o, kSavingsMetricKeys[m]);
    std::vector<TAdviceResource> resources;
    if (details && details->get_object().get(o) == SUCCESS) {
        savings.Ms = SavingOf(o, "overallSavingsMs");
        savings.Bytes = SavingOf(o, "overallSavingsBytes");
        // Lighthouse 13's insights (cache lifetimes, image delivery) keep their bytes there.
        if (std::isnan(savings.Bytes))
            if (auto debug = ObjectMember(o, "debugData"))
                savings.Bytes = SavingOf(*debug, "wastedBytes");
        if (auto items = ArrayMember(o, "items")) {
            for (element e : *items) {
                object item;
                if (e.get_object().get(item) != SUCCESS) continue;
                AddResource(item, resources);
                auto sub = ObjectMember(item, "subItems");
                auto subItems = sub ? ArrayMember(*sub, "items") : std::nullopt;
                if (!subItems) continue;
                for (element s : *subItems)
                    if (object subItem; s.get_object().get(subItem) == SUCCESS)
                        AddResource(subItem, resources);
            }
        }
    }
    std::stable_sort(resources.begin(), resources.end(),
                     [](const TAdviceResource& a, const TAdviceResource& b) {
                         if (Larger(a.WastedMs, b.WastedMs)) return true;
                         if (Larger(b.WastedMs, a.WastedMs)) return false;
                         return Larger(a.WastedBytes, b.WastedBytes);
                     });
    // A resource named again (an item and its sub-item) counts once, with its largest figures.
    std::vector<TAdviceResource> kept;
    for (const TAdviceResource& r : resources) {
        if (kept.size() == kMaxAdviceResources) break;
        if (std::none_of(kept.begin(), kept.end(),
                         [&r](const TAdviceResource& k) { return k.Url == r.Url; }))
            kept.push_back(r);
    }
    return TAdviceFigures(savings, kept);
}

}  // namespace velmora
