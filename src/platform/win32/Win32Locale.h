// Locale service: the user's regional settings through oleaut32's variant conversions, which
// follow the classic rules (halves to even, the locale's separators, blanks around numbers).
#pragma once
#include "platform/Locale.h"

namespace orv::win32 {

class Win32Locale : public platform::Locale {
public:
    std::optional<double> ParseNumber(const std::string& text) const override;
    std::string FormatNumber(double value) const override;
    std::string FormatGeneralDate(double oleDate) const override;
    std::string FormatFixed2Grouped(double value) const override;
};

} // namespace orv::win32
