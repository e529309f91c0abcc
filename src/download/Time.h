// Time module: durations as the download window shows them.
#pragma once
#include <cstdint>
#include <string>

#include "common/Variant.h"

namespace orv {

// "Calculating..." for null, zero or negative values; else the duration in the style that fits.
std::string FormatTimeLeft(const Variant& seconds);
std::string FormatDuration(std::int32_t n, const std::int16_t& style);

} // namespace orv
