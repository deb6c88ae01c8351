// What an advice item estimates a fix would save, and the resources it names: kept per page so
// that the site's summary can add them up across thousands of pages, in one block per item.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

#include "engine/interned_text.h"

namespace velmora {

// The metrics a saving is estimated for, in this order: LCP, FCP, CLS, TBT, INP.
enum TSavingsMetric : uint8_t { smLCP = 0, smFCP = 1, smCLS = 2, smTBT = 3, smINP = 4 };
inline constexpr std::array<std::string_view, 5> kSavingsMetricKeys{"LCP", "FCP", "CLS", "TBT",
                                                                    "INP"};

// Resources kept per advice item, the largest savings first: the summary ranks resources by the
// pages naming them, and an item's long tail (the tenth unused script) repairs little.
inline constexpr size_t kMaxAdviceResources = 10;

inline constexpr float kNoSaving = std::numeric_limits<float>::quiet_NaN();

// The answer's estimates; NaN where it gives none. Milliseconds, CLS unitless, bytes.
struct TAdviceSavings {
    std::array<float, kSavingsMetricKeys.size()> Metric{kNoSaving, kNoSaving, kNoSaving, kNoSaving,
                                                        kNoSaving};  // metricSavings
    float Ms = kNoSaving;                                            // details.overallSavingsMs
    float Bytes = kNoSaving;                                         // details.overallSavingsBytes

    bool Any() const;
    // The time a fix saves, for ranking: overallSavingsMs where given, else the largest saving
    // of a timed metric (LCP, FCP, TBT, INP); NaN when the answer gives neither.
    float RankMs() const;
};

// A resource an advice item names (details.items[].url, or a sub-item's), with what the item
// says it wastes; NaN where it says nothing.
struct TAdviceResource {
    TInternedText Url;
    float WastedMs = kNoSaving;
    float WastedBytes = kNoSaving;
};

// The savings and resources of one advice item in a single allocation, none when the item has
// neither: most items of a page carry a few figures, many carry none.
class TAdviceFigures {
  public:
    TAdviceFigures() = default;
    // Keeps resources as given; ReadAdviceFigures orders and caps them.
    TAdviceFigures(const TAdviceSavings& savings, std::span<const TAdviceResource> resources);
    TAdviceFigures(const TAdviceFigures& other);
    TAdviceFigures(TAdviceFigures&& other) noexcept : FBlock(other.FBlock) {
        other.FBlock = nullptr;
    }
    TAdviceFigures& operator=(TAdviceFigures other) noexcept {
        std::swap(FBlock, other.FBlock);
        return *this;
    }
    ~TAdviceFigures();

    bool Empty() const { return FBlock == nullptr; }
    // All NaN when empty.
    const TAdviceSavings& Savings() const;
    std::span<const TAdviceResource> Resources() const;
    friend bool operator==(const TAdviceFigures& a, const TAdviceFigures& b);

  private:
    struct THead {
        TAdviceSavings Savings;
        uint32_t Count = 0;
    };
    THead* FBlock = nullptr;  // followed by Count resources
};

}  // namespace velmora
