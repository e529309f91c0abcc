#include "download/Time.h"

// Not built yet: arrives with the download window.
namespace orv {
std::string FormatTimeLeft(const Variant&) { return "Calculating..."; }
std::string FormatDuration(std::int32_t, const std::int16_t&) { return {}; }
} // namespace orv
