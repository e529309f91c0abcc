#include "download/Time.h"

#include <cmath>
#include <limits>

namespace orv {
namespace {

constexpr const char* kCalculating = "Calculating...";

struct UnitWords {
    const char* daySingular;
    const char* dayPlural;
    const char* hourSingular;
    const char* hourPlural;
    const char* minuteSingular;
    const char* minutePlural;
    const char* secondSingular;
    const char* secondPlural;
};

// A null word means the style leaves that part out, together with its number.
constexpr UnitWords kStyles[] = {
    // the short style, used for every style number outside 1 to 5
    {"d ", "d ", "h ", "h ", "m ", "m ", "s", "s"},
    {" day, ", " days, ", ":", ":", ":", ":", "", ""},
    {" day ", " days, ", "hr ", "hrs ", "min ", "mins ", "sec ", "secs"},
    {nullptr, nullptr, "hr ", "hrs ", "min ", "mins ", "sec ", "secs"},
    {nullptr, nullptr, nullptr, nullptr, "min ", "mins ", "sec ", "secs"},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "sec ", "secs"},
};

void AppendPart(std::string& out, std::int32_t value, const char* singular, const char* plural) {
    if (singular == nullptr) return;
    out += std::to_string(value);
    out += value == 1 ? singular : plural;
}

// The number inside a value, when it holds one; text is not taken for a number here, as the only
// caller passes a computed double.
bool NumberOf(const Variant& v, double& out) {
    if (v.Holds<double>()) out = v.Get<double>();
    else if (v.Holds<float>()) out = v.Get<float>();
    else if (v.Holds<std::int32_t>()) out = v.Get<std::int32_t>();
    else if (v.Holds<std::int16_t>()) out = v.Get<std::int16_t>();
    else return false;
    return true;
}

} // namespace

std::string FormatTimeLeft(const Variant& seconds) {
    double value = 0;
    // NaN fails the comparison and so gives "Calculating..." as well.
    if (!NumberOf(seconds, value) || !(value > 0)) return kCalculating;

    std::int16_t style = 5;
    if (value >= 86400) style = 2;
    else if (value >= 3600) style = 3;
    else if (value >= 60) style = 4;

    // Halves go to the even neighbour under the default rounding mode. An estimate beyond the
    // 32-bit range (a rate that has all but stalled) says nothing useful, so it is shown as one
    // still being worked out.
    const double rounded = std::nearbyint(value);
    if (!(rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::max()))) return kCalculating;
    return FormatDuration(static_cast<std::int32_t>(rounded), style);
}

std::string FormatDuration(std::int32_t n, const std::int16_t& style) {
    // C++ division truncates toward zero and the remainder keeps the dividend's sign, so every
    // part of a negative duration is zero or negative.
    const std::int32_t seconds = n % 60;
    const std::int32_t minutes = (n / 60) % 60;
    const std::int32_t hours = (n / 3600) % 24;
    const std::int32_t days = (n / 3600) / 24;

    const UnitWords& w = kStyles[(style >= 1 && style <= 5) ? style : 0];
    std::string out;
    if (days != 0) AppendPart(out, days, w.daySingular, w.dayPlural);
    AppendPart(out, hours, w.hourSingular, w.hourPlural);
    AppendPart(out, minutes, w.minuteSingular, w.minutePlural);
    AppendPart(out, seconds, w.secondSingular, w.secondPlural);
    return out;
}

} // namespace orv
