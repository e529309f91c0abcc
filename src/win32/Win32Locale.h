// Locale service: the user's regional settings through oleaut32's variant conversions, which
// follow the classic rules (halves to even, the locale's separators, blanks around numbers).
#pragma once
#include <cstdint>

#include "platform/Locale.h"

namespace orv::win32 {

class Win32Locale : public platform::Locale {
public:
    // The user's settings (LOCALE_USER_DEFAULT), or those of the locale given by its identifier.
    explicit Win32Locale(std::uint32_t localeId = 0x0400) : localeId_(localeId) {}
    std::optional<double> ParseNumber(const std::string& text) const override;
    std::string FormatNumber(double value) const override;
    std::string FormatGeneralDate(double oleDate) const override;
    std::string FormatFixed2Grouped(double value) const override;

private:
    std::uint32_t localeId_;
};

} // namespace orv::win32
