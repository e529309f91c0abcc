#include "common/Variant.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "common/Error.h"

namespace orv {
namespace {

// A single's own shortest digits (0.1, not 0.100000001490116), carried into a double so the
// locale can render them.
double ShortestDoubleOf(float value) {
    if (!std::isfinite(value)) return static_cast<double>(value);
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    double result = static_cast<double>(value);
    std::from_chars(buffer, written.ptr, result);
    return result;
}

} // namespace

bool Variant::IsNumber() const {
    return Holds<std::int16_t>() || Holds<std::int32_t>() || Holds<float>() || Holds<double>();
}

bool IsPresent(const Variant& v) { return !IsBlank(v); }

bool IsBlank(const Variant& v) {
    if (v.IsEmpty() || v.IsNull()) return true;
    return v.IsText() && v.Get<std::string>().empty();
}

std::string ToText(const Variant& v, const platform::Locale& locale) {
    return std::visit(
        [&](const auto& x) -> std::string {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, EmptyValue>) return {};
            else if constexpr (std::is_same_v<T, NullValue>) throw AgentError::InvalidUseOfNull();
            else if constexpr (std::is_same_v<T, bool>) return x ? "True" : "False";
            else if constexpr (std::is_same_v<T, std::int16_t> || std::is_same_v<T, std::int32_t>)
                return std::to_string(x);
            else if constexpr (std::is_same_v<T, float>) return locale.FormatNumber(ShortestDoubleOf(x));
            else if constexpr (std::is_same_v<T, double>) return locale.FormatNumber(x);
            else if constexpr (std::is_same_v<T, DateValue>) return locale.FormatGeneralDate(x.oleDate);
            else if constexpr (std::is_same_v<T, std::string>) return x;
            else return std::string(x.begin(), x.end());
        },
        v.Raw());
}

double ToDouble(const Variant& v, const platform::Locale& locale) {
    return std::visit(
        [&](const auto& x) -> double {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, EmptyValue>) return 0.0;
            else if constexpr (std::is_same_v<T, NullValue>) throw AgentError::InvalidUseOfNull();
            else if constexpr (std::is_same_v<T, bool>) return x ? -1.0 : 0.0;
            else if constexpr (std::is_same_v<T, DateValue>) return x.oleDate;
            else if constexpr (std::is_same_v<T, std::string>) {
                auto parsed = locale.ParseNumber(x);
                if (!parsed) throw AgentError::TypeMismatch();
                return *parsed;
            } else if constexpr (std::is_same_v<T, ByteArray>) throw AgentError::TypeMismatch();
            else return static_cast<double>(x);
        },
        v.Raw());
}

std::int32_t RoundToInt32(double value) {
    if (!std::isfinite(value)) throw AgentError::Overflow();
    // nearbyint under the default rounding mode rounds halves to even.
    const double r = std::nearbyint(value);
    if (r < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        r > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        throw AgentError::Overflow();
    return static_cast<std::int32_t>(r);
}

std::int32_t ToInt32(const Variant& v, const platform::Locale& locale) {
    if (v.Holds<std::int32_t>()) return v.Get<std::int32_t>();
    if (v.Holds<std::int16_t>()) return v.Get<std::int16_t>();
    return RoundToInt32(ToDouble(v, locale));
}

bool IsNumeric(const Variant& v, const platform::Locale& locale) {
    // A date is not a number, although it converts to one.
    if (v.IsNull() || v.IsBytes() || v.IsDate()) return false;
    if (v.IsText()) return locale.ParseNumber(v.Get<std::string>()).has_value();
    return true;
}

} // namespace orv
