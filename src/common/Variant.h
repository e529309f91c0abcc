// Variant: the dynamically typed value of the agent. Empty (nothing assigned) compares equal to
// "" and 0; null is neither; a value is present when it is neither null nor "".
#pragma once
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/Locale.h"

namespace orv {

struct EmptyValue {
    bool operator==(const EmptyValue&) const = default;
};
struct NullValue {
    bool operator==(const NullValue&) const = default;
};
// An OLE automation date: days since 1899-12-30, the fraction being the time of day.
struct DateValue {
    double oleDate = 0;
    bool operator==(const DateValue&) const = default;
};
using ByteArray = std::vector<std::uint8_t>;

class Variant {
public:
    using Storage = std::variant<EmptyValue, NullValue, bool, std::int16_t, std::int32_t, float, double,
                                 DateValue, std::string, ByteArray>;

    Variant() = default;
    Variant(EmptyValue) {}
    Variant(NullValue v) : value_(v) {}
    Variant(bool v) : value_(v) {}
    Variant(std::int16_t v) : value_(v) {}
    Variant(std::int32_t v) : value_(v) {}
    Variant(float v) : value_(v) {}
    Variant(double v) : value_(v) {}
    Variant(DateValue v) : value_(v) {}
    Variant(std::string v) : value_(std::move(v)) {}
    Variant(const char* v) : value_(std::string(v)) {}
    Variant(ByteArray v) : value_(std::move(v)) {}

    static Variant Null() { return Variant(NullValue{}); }

    bool IsEmpty() const { return std::holds_alternative<EmptyValue>(value_); }
    bool IsNull() const { return std::holds_alternative<NullValue>(value_); }
    bool IsText() const { return std::holds_alternative<std::string>(value_); }
    bool IsBytes() const { return std::holds_alternative<ByteArray>(value_); }
    bool IsDate() const { return std::holds_alternative<DateValue>(value_); }
    bool IsBoolean() const { return std::holds_alternative<bool>(value_); }
    // Integer, single or double (not Boolean, not date).
    bool IsNumber() const;

    template <typename T> bool Holds() const { return std::holds_alternative<T>(value_); }
    template <typename T> const T& Get() const { return std::get<T>(value_); }
    const Storage& Raw() const { return value_; }

    bool operator==(const Variant&) const = default;

private:
    Storage value_;
};

// Neither null nor "" (the empty value counts as "").
bool IsPresent(const Variant& v);
// Empty text, the empty value or null.
bool IsBlank(const Variant& v);
// Text form: "" for empty; raises 94 for null; numbers and dates under the locale; Booleans
// as "True"/"False"; a byte array's bytes as they are.
std::string ToText(const Variant& v, const platform::Locale& locale);
// To double: empty is 0; text under the locale (13 when not a number); Booleans -1/0; raises
// 94 for null and 13 for a byte array.
double ToDouble(const Variant& v, const platform::Locale& locale);
// To 32-bit integer, halves to even; 6 when outside the range.
std::int32_t ToInt32(const Variant& v, const platform::Locale& locale);
// Rounds halves to the even neighbour and range-checks (6 on overflow).
std::int32_t RoundToInt32(double value);
// True when the value converts to a number under the locale.
bool IsNumeric(const Variant& v, const platform::Locale& locale);

} // namespace orv
