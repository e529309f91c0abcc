#include "fakes/FakeLocale.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "fakes/FakeSupport.h"

namespace orv::fakes {

std::optional<double> FakeLocale::ParseNumber(const std::string& text) const {
    std::string t = TrimBlanks(text);
    if (t.empty()) return std::nullopt;
    std::string plain;  // in C form, for strtod
    std::size_t i = 0;
    if (t[i] == '+' || t[i] == '-') plain.push_back(t[i++]);
    bool digits = false, decimal = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            plain.push_back(c);
            digits = true;
        } else if (c == Decimal() && !decimal) {
            plain.push_back('.');
            decimal = true;
        } else if (c == Thousands() && !decimal && digits) {
            continue;
        } else if ((c == 'e' || c == 'E') && digits) {
            plain.push_back('e');
            std::size_t j = i + 1;
            if (j < t.size() && (t[j] == '+' || t[j] == '-')) plain.push_back(t[j++]);
            if (j >= t.size()) return std::nullopt;
            for (; j < t.size(); ++j) {
                if (t[j] < '0' || t[j] > '9') return std::nullopt;
                plain.push_back(t[j]);
            }
            i = t.size();
            break;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    const double v = std::strtod(plain.c_str(), nullptr);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

std::string FakeLocale::FormatNumber(double value) const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    std::string s = buf;
    if (s == "-0") s = "0";
    for (char& c : s)
        if (c == '.') c = Decimal();
    return s;
}

std::string FakeLocale::FormatGeneralDate(double oleDate) const {
    double whole = std::floor(oleDate);
    long long secs = std::llround((oleDate - whole) * 86400.0);
    if (secs == 86400) {
        whole += 1;
        secs = 0;
    }
    // Civil date from days since 1899-12-30 (days-from-civil algorithm).
    long long z = static_cast<long long>(whole) - 25569 + 719468;  // to days since 0000-03-01
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    const long long h = secs / 3600, mi = (secs / 60) % 60, s = secs % 60;
    char buf[160];
    if (kind == Kind::EnUs) {
        const long long h12 = h % 12 == 0 ? 12 : h % 12;
        std::snprintf(buf, sizeof buf, "%lld/%lld/%lld %lld:%02lld:%02lld %s", m, d, y, h12, mi, s,
                      h < 12 ? "AM" : "PM");
    } else {
        std::snprintf(buf, sizeof buf, "%02lld.%02lld.%04lld %02lld:%02lld:%02lld", d, m, y, h, mi, s);
    }
    return buf;
}

std::string FakeLocale::FormatFixed2Grouped(double value) const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", std::fabs(value));
    std::string s = buf;
    const auto dot = s.find('.');
    std::string integer = s.substr(0, dot), grouped;
    for (std::size_t i = 0; i < integer.size(); ++i) {
        if (i > 0 && (integer.size() - i) % 3 == 0) grouped.push_back(Thousands());
        grouped.push_back(integer[i]);
    }
    const bool negative = value < 0 && s.find_first_not_of("0.") != std::string::npos;
    return (negative ? "-" : "") + grouped + Decimal() + s.substr(dot + 1);
}

} // namespace orv::fakes
