// The score bands every view colours by, as the service's own report draws them: good from 90,
// average from 50, poor below. The grid, its chart, the site summary and the report read them
// here.
#pragma once

#include <array>
#include <cstdint>

namespace velmora {

enum TScoreBand : uint8_t { sbGood = 0, sbAverage = 1, sbPoor = 2 };

inline constexpr double kGoodScoreFrom = 90;
inline constexpr double kAverageScoreFrom = 50;

// A score 0-100 of any category.
constexpr TScoreBand ScoreBandOf(double score) {
    return score >= kGoodScoreFrom ? sbGood : score >= kAverageScoreFrom ? sbAverage : sbPoor;
}

// 0xRRGGBB by band: the fill of cells and chart slices, and the colour of text on white (darker,
// so that it reads).
inline constexpr std::array<uint32_t, 3> kScoreBandFill{0x0CCE6B, 0xFFA400, 0xFF4E42};
inline constexpr std::array<uint32_t, 3> kScoreBandText{0x0C9D58, 0xC77700, 0xD93025};

}  // namespace velmora
