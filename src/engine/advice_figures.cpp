#include "engine/advice_figures.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

namespace velmora {
namespace {

// The block is copied as bytes and freed without destructors.
static_assert(std::is_trivially_copyable_v<TAdviceResource>);
static_assert(std::is_trivially_destructible_v<TAdviceResource>);

const TAdviceSavings kNoSavings{};

bool SameFloat(float a, float b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

bool TAdviceSavings::Any() const {
    return !std::isnan(Ms) || !std::isnan(Bytes) ||
           std::any_of(Metric.begin(), Metric.end(), [](float v) { return !std::isnan(v); });
}

float TAdviceSavings::RankMs() const {
    if (!std::isnan(Ms)) return Ms;
    float best = kNoSaving;
    for (TSavingsMetric m : {smLCP, smFCP, smTBT, smINP})
        if (!std::isnan(Metric[m]) && !(Metric[m] <= best)) best = Metric[m];
    return best;
}

TAdviceFigures::TAdviceFigures(const TAdviceSavings& savings,
                               std::span<const TAdviceResource> resources) {
    if (!savings.Any() && resources.empty()) return;
    static_assert(sizeof(THead) % alignof(TAdviceResource) == 0);
    void* block = ::operator new(sizeof(THead) + resources.size() * sizeof(TAdviceResource));
    FBlock = new (block) THead{savings, static_cast<uint32_t>(resources.size())};
    if (!resources.empty())
        std::memcpy(static_cast<void*>(FBlock + 1), resources.data(),
                    resources.size() * sizeof(TAdviceResource));
}

TAdviceFigures::TAdviceFigures(const TAdviceFigures& other) {
    if (!other.FBlock) return;
    const size_t size = sizeof(THead) + other.FBlock->Count * sizeof(TAdviceResource);
    void* block = ::operator new(size);
    std::memcpy(block, static_cast<const void*>(other.FBlock), size);
    FBlock = static_cast<THead*>(block);
}

TAdviceFigures::~TAdviceFigures() {
    ::operator delete(static_cast<void*>(FBlock));
}

const TAdviceSavings& TAdviceFigures::Savings() const {
    return FBlock ? FBlock->Savings : kNoSavings;
}

std::span<const TAdviceResource> TAdviceFigures::Resources() const {
    if (!FBlock) return {};
    return {reinterpret_cast<const TAdviceResource*>(FBlock + 1), FBlock->Count};
}

bool operator==(const TAdviceFigures& a, const TAdviceFigures& b) {
    const TAdviceSavings &x = a.Savings(), &y = b.Savings();
    if (!SameFloat(x.Ms, y.Ms) || !SameFloat(x.Bytes, y.Bytes)) return false;
    for (size_t m = 0; m < x.Metric.size(); ++m)
        if (!SameFloat(x.Metric[m], y.Metric[m])) return false;
    const auto ra = a.Resources(), rb = b.Resources();
    return std::equal(ra.begin(), ra.end(), rb.begin(), rb.end(),
                      [](const TAdviceResource& p, const TAdviceResource& q) {
                          return p.Url == q.Url && SameFloat(p.WastedMs, q.WastedMs) &&
                                 SameFloat(p.WastedBytes, q.WastedBytes);
                      });
}

}  // namespace velmora
