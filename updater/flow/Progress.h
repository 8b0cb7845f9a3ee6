#pragma once

#include "common/Bytes.h"

#include <cstdint>

namespace updater {

using common::Bytes;

// Width in pixels of the progress bar at 100 %.
inline constexpr int kBarWidth = 295;

// What the status area shows for one progress report.
struct ProgressDisplay
{
    int barWidth = kBarWidth;
    Bytes percentSuffix;    // " - 28%", or empty when no total is known
    Bytes bytesText;        // "1.5/3.2 MB - 120.7KB/s"
    std::int64_t count = 0; // the count as shown: never above a total of 1 or more
};

// Computes the bar, percentage and size texts. The fraction is taken in single precision
// and the bar width and percentage are cut, not rounded, so 29 of 100 shows 28 %. Sizes are
// in KB unless the total reaches 1024 KB; the speed picks its own unit.
ProgressDisplay FormatProgress(std::int64_t count, std::int64_t total,
                               std::int64_t bytesLastSecond);

// A single-precision number written with 7 significant digits in plain decimal notation,
// trailing zeros dropped, then cut after the first decimal digit: 1.96 gives "1.9", 12 gives
// "12", 0.5 gives "0.5".
Bytes FormatSize(float value);

} // namespace updater
