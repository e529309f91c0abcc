#pragma once
#include <optional>
#include <string>

#include "platform/Locale.h"

namespace orv::fakes {

class FakeLocale : public platform::Locale {
public:
    enum class Kind { EnUs, CommaDecimal };
    explicit FakeLocale(Kind kind = Kind::EnUs) : kind(kind) {}
    std::optional<double> ParseNumber(const std::string& text) const override;
    std::string FormatNumber(double value) const override;
    std::string FormatGeneralDate(double oleDate) const override;
    std::string FormatFixed2Grouped(double value) const override;
    Kind kind;
    char Decimal() const { return kind == Kind::EnUs ? '.' : ','; }
    char Thousands() const { return kind == Kind::EnUs ? ',' : '.'; }
};

} // namespace orv::fakes
