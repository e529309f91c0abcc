// Locale service: every conversion between text and numbers or dates under the user's regional
// settings goes through here.
#pragma once
#include <optional>
#include <string>

namespace orv::platform {

class Locale {
public:
    virtual ~Locale() = default;
    // Text to double: blanks around the number are ignored, the locale's decimal and thousands
    // separators apply, an optional sign. nullopt when the text is not a number (or is out of
    // the double range).
    virtual std::optional<double> ParseNumber(const std::string& text) const = 0;
    // A number in its shortest decimal text with the locale's decimal separator (7, 1.5, 0,5).
    virtual std::string FormatNumber(double value) const = 0;
    // An OLE date in the user's general date format: short date, a blank, long time.
    virtual std::string FormatGeneralDate(double oleDate) const = 0;
    // The pattern "#,##0.00": rounded to two decimals, thousands grouped with the locale's
    // separator, at least one integer digit.
    virtual std::string FormatFixed2Grouped(double value) const = 0;
};

} // namespace orv::platform
