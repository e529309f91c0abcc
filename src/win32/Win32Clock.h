// Clock service: the local time of kernel32, as OLE dates.
#pragma once
#include "platform/Clock.h"

namespace orv::win32 {

class Win32Clock : public platform::Clock {
public:
    double Now() override;
    float SecondsSinceMidnight() override;
    void Sleep(std::uint32_t milliseconds) override;
};

} // namespace orv::win32
