// One strategy's results as stored: the cell texts in a single field, the numbers the grids
// sort and compare by, and the advice as references to distinct texts.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/tasks.h"

namespace velmora::history {

// The score and the six timing metrics: catalogue rows 0..6.
inline constexpr int kNumericMetrics = 7;

struct TEncodedStrategy {
    TTaskResult Status = trNotChecked;
    int32_t ErrorCode = 0;
    std::array<std::optional<double>, kNumericMetrics> Numbers;
    std::string Texts;   // display texts of the catalogue rows in order, "\x1f"-separated
    std::string Advice;  // "textId\x1fgroup\x1fvalue" items, "\x1e"-separated
};

// Id of an advice title + description, created on first use.
using TAdviceTextId = std::function<int64_t(const std::string& title, const std::string& descr)>;
struct TAdviceText {
    TInternedText Title, Descr;
};
using TAdviceTextById = std::function<TAdviceText(int64_t id)>;

TEncodedStrategy EncodeStrategy(const TURLTaskResults& r, TMetricaStrategy s,
                                const TAdviceTextId& adviceId);
// Adds the strategy's status, values and advice to r.
void DecodeStrategy(TMetricaStrategy s, TTaskResult status, int32_t errorCode,
                    std::string_view texts, std::string_view advice,
                    const TAdviceTextById& adviceText, TURLTaskResults& r);

}  // namespace velmora::history
