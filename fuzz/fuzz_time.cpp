// FormatDuration for any number of seconds and any style, FormatTimeLeft for any value. The
// numbers written add back up to the duration (modulo the parts a style leaves out), each part
// stays within its unit, days are written exactly when there are some, and no value, NaN,
// infinity or one far beyond the 32-bit range, makes the time left fail.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "download/Time.h"

namespace {

using orv::fuzz::Shown;

// The signed whole numbers in a text, in order.
std::vector<std::int64_t> Numbers(const std::string& text) {
    std::vector<std::int64_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const bool negative = text[i] == '-' && i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]));
        if (!negative && !std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        if (negative) ++i;
        std::int64_t v = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) v = v * 10 + (text[i++] - '0');
        out.push_back(negative ? -v : v);
    }
    return out;
}

// How many parts a style writes after the days: styles 1, 2 and the short style write hours,
// minutes and seconds, 3 writes the same, 4 minutes and seconds, 5 seconds only.
int TrailingParts(std::int16_t style) {
    switch (style) {
    case 4: return 2;
    case 5: return 1;
    default: return 3;
    }
}

bool WritesDays(std::int16_t style) { return style != 3 && style != 4 && style != 5; }

void CheckDuration(std::int32_t n, std::int16_t style, const std::string& text) {
    const std::string where = std::to_string(n) + " in style " + std::to_string(style) + ": " + Shown(text);
    const std::vector<std::int64_t> numbers = Numbers(text);
    const std::int64_t days = static_cast<std::int64_t>(n) / 86400;
    const bool daysWritten = WritesDays(style) && days != 0;
    const std::size_t expected = static_cast<std::size_t>(TrailingParts(style)) + (daysWritten ? 1 : 0);
    FUZZ_CHECK(numbers.size() == expected, "wrong number of parts: " + where);

    // From the last part backwards: seconds, minutes, hours, days.
    static const std::int64_t kUnit[] = {1, 60, 3600, 86400};
    static const std::int64_t kRange[] = {60, 60, 24, std::numeric_limits<std::int64_t>::max()};
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const std::int64_t part = numbers[numbers.size() - 1 - i];
        FUZZ_CHECK(part < kRange[i] && part > -kRange[i], "part out of its range: " + where);
        FUZZ_CHECK((n >= 0 && part >= 0) || (n <= 0 && part <= 0), "part of the wrong sign: " + where);
        sum += part * kUnit[i];
    }
    // A style that leaves out its leading parts shows the duration modulo them.
    std::int64_t whole = n;
    if (!WritesDays(style)) whole %= kUnit[TrailingParts(style)];
    FUZZ_CHECK(sum == whole, "parts add up to " + std::to_string(sum) + ": " + where);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::int32_t n = in.ConsumeIntegral<std::int32_t>();
    const std::int16_t style = in.ConsumeIntegral<std::int16_t>();
    std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
    double seconds = 0;
    std::memcpy(&seconds, &bits, sizeof seconds);

    CheckDuration(n, style, orv::FormatDuration(n, style));
    for (std::int16_t s = 0; s <= 6; ++s) CheckDuration(n, s, orv::FormatDuration(n, s));

    const std::string left = orv::FormatTimeLeft(seconds);
    const std::string where = std::to_string(seconds) + ": " + Shown(left);
    const double rounded = std::nearbyint(seconds);
    if (!(seconds > 0)) {
        FUZZ_CHECK(left == "Calculating...", "no estimate expected for " + where);
    } else if (rounded <= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        const std::int16_t chosen = seconds >= 86400 ? 2 : seconds >= 3600 ? 3 : seconds >= 60 ? 4 : 5;
        CheckDuration(static_cast<std::int32_t>(rounded), chosen, left);
    } else {
        FUZZ_CHECK(!left.empty(), "nothing shown for " + where);
    }
    // The same number held as a single, a whole number or a text.
    if (!(std::fabs(seconds) > std::numeric_limits<float>::max()))
        (void)orv::FormatTimeLeft(static_cast<float>(seconds));
    (void)orv::FormatTimeLeft(n);
    (void)orv::FormatTimeLeft(style);
    FUZZ_CHECK(orv::FormatTimeLeft(orv::Variant::Null()) == "Calculating...", "null");
    FUZZ_CHECK(orv::FormatTimeLeft(std::to_string(n)) == "Calculating...", "text is no number here");
    return 0;
}
