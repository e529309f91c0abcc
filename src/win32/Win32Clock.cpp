#include "win32/Win32Clock.h"

#include "win32/Win32Api.h"

namespace orv::win32 {

double Win32Clock::Now() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    // Whole seconds, as the date and time texts written from it show them.
    local.wMilliseconds = 0;
    double date = 0;
    ::SystemTimeToVariantTime(&local, &date);
    return date;
}

float Win32Clock::SecondsSinceMidnight() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    return static_cast<float>(local.wHour * 3600 + local.wMinute * 60 + local.wSecond) +
           static_cast<float>(local.wMilliseconds) / 1000.0f;
}

void Win32Clock::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

} // namespace orv::win32
