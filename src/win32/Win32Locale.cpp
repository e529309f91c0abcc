#include "win32/Win32Locale.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/Error.h"
#include "win32/Win32Api.h"

namespace orv::win32 {
namespace {

// Owns a BSTR for the length of one conversion.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::string& ansi) {
        const int length = ansi.empty() ? 0
                                        : ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                                                nullptr, 0);
        value_ = ::SysAllocStringLen(nullptr, static_cast<UINT>(length));
        if (!value_) throw AgentError::OutOfMemory();
        if (length)
            ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), value_, length);
    }
    ~Bstr() { ::SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR* Out() { return &value_; }
    BSTR Get() const { return value_; }

    std::string ToAnsi() const {
        const int wide = static_cast<int>(::SysStringLen(value_));
        if (wide == 0) return {};
        const int length = ::WideCharToMultiByte(CP_ACP, 0, value_, wide, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(length), '\0');
        ::WideCharToMultiByte(CP_ACP, 0, value_, wide, text.data(), length, nullptr, nullptr);
        return text;
    }

private:
    BSTR value_ = nullptr;
};

std::string LocaleInfo(LCID locale, LCTYPE type, const char* fallback) {
    char buffer[16] = {};
    if (::GetLocaleInfoA(locale, type, buffer, static_cast<int>(sizeof buffer)) <= 0) return fallback;
    return buffer;
}

// The value as a plain decimal text ("1234.5", "-0.005"), no exponent, to 15 significant
// digits: the digits a double stands for, so that rounding them as decimal text takes 0.125 and
// 1.005 up to 0.13 and 1.01, as the pattern does everywhere else.
std::string PlainDecimal(double value) {
    char scientific[40];
    std::snprintf(scientific, sizeof scientific, "%.14e", value);
    std::string text = scientific;
    const auto e = text.find('e');
    if (e == std::string::npos) return text;  // inf or nan: left to GetNumberFormatA to refuse
    const int exponent = std::atoi(text.c_str() + e + 1);
    std::string digits;
    bool negative = false;
    for (std::size_t i = 0; i < e; ++i) {
        if (text[i] == '-') negative = true;
        else if (text[i] >= '0' && text[i] <= '9') digits += text[i];
    }
    // digits = d0 d1 ... d14, value = d0.d1...d14 * 10^exponent
    std::string integer, fraction;
    const int point = exponent + 1;
    if (point <= 0) {
        integer = "0";
        fraction = std::string(static_cast<std::size_t>(-point), '0') + digits;
    } else if (point >= static_cast<int>(digits.size())) {
        integer = digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
        integer = digits.substr(0, static_cast<std::size_t>(point));
        fraction = digits.substr(static_cast<std::size_t>(point));
    }
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string result = negative ? "-" : "";
    result += integer;
    if (!fraction.empty()) result += '.' + fraction;
    return result;
}

// A plain decimal text rounded to `digits` decimals, halves away from zero, with exactly that
// many decimals ("999.995" -> "1000.00"). Done here rather than left to GetNumberFormatA, whose
// rounding is not grouped again everywhere when it carries into a new group of thousands.
std::string RoundDecimalText(const std::string& text, std::size_t digits) {
    const bool negative = !text.empty() && text[0] == '-';
    std::string body = negative ? text.substr(1) : text;
    auto point = body.find('.');
    std::string integer = point == std::string::npos ? body : body.substr(0, point);
    std::string fraction = point == std::string::npos ? std::string() : body.substr(point + 1);
    const bool roundUp = fraction.size() > digits && fraction[digits] >= '5';
    fraction.resize(digits, '0');
    std::string all = integer + fraction;
    if (roundUp) {
        std::size_t i = all.size();
        while (i > 0) {
            --i;
            if (all[i] == '9') {
                all[i] = '0';
            } else {
                ++all[i];
                break;
            }
            if (i == 0) all.insert(all.begin(), '1');
        }
    }
    const std::size_t integerDigits = all.size() - digits;
    const bool zero = all.find_first_not_of('0') == std::string::npos;
    std::string result = negative && !zero ? "-" : "";
    result += all.substr(0, integerDigits);
    if (digits) result += '.' + all.substr(integerDigits);
    return result;
}

} // namespace

std::optional<double> Win32Locale::ParseNumber(const std::string& text) const {
    Bstr input(text);
    double value = 0;
    if (FAILED(::VarR8FromStr(input.Get(), localeId_, 0, &value))) return std::nullopt;
    return value;
}

std::string Win32Locale::FormatNumber(double value) const {
    Bstr output;
    if (FAILED(::VarBstrFromR8(value, localeId_, 0, output.Out()))) throw AgentError::TypeMismatch();
    return output.ToAnsi();
}

std::string Win32Locale::FormatGeneralDate(double oleDate) const {
    Bstr output;
    if (FAILED(::VarBstrFromDate(oleDate, localeId_, 0, output.Out()))) throw AgentError::TypeMismatch();
    return output.ToAnsi();
}

std::string Win32Locale::FormatFixed2Grouped(double value) const {
    if (!std::isfinite(value)) throw AgentError::Overflow();
    // The pattern fixes two decimals, a leading zero, a plain leading minus and groups of
    // thousands (threes, whatever grouping the locale writes its own numbers in: 12,34,567.89
    // would not be thousands); only the two separators come from the user's settings.
    std::string decimal = LocaleInfo(localeId_, LOCALE_SDECIMAL, ".");
    std::string thousand = LocaleInfo(localeId_, LOCALE_STHOUSAND, ",");

    NUMBERFMTA format{};
    format.NumDigits = 2;
    format.LeadingZero = 1;
    format.Grouping = 3;
    format.lpDecimalSep = decimal.data();
    format.lpThousandSep = thousand.data();
    format.NegativeOrder = 1;  // "-1.1"

    const std::string input = RoundDecimalText(PlainDecimal(value), 2);
    // Room for the largest double: 309 digits, their group separators and the cents.
    std::vector<char> buffer(1024, '\0');
    const int length = ::GetNumberFormatA(localeId_, 0, input.c_str(), &format, buffer.data(),
                                          static_cast<int>(buffer.size()));
    if (length <= 0) throw AgentError::Overflow();
    return std::string(buffer.data());
}

} // namespace orv::win32
