// Clock service: local date and time, seconds since local midnight, and a blocking pause.
#pragma once
#include <cstdint>

namespace orv::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // The current local date and time as an OLE automation date (days since 1899-12-30,
    // the fraction being the time of day).
    virtual double Now() = 0;
    // Seconds since local midnight, single precision (restarts at 0 at midnight).
    virtual float SecondsSinceMidnight() = 0;
    // Pauses the calling thread; no window messages are handled meanwhile.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

} // namespace orv::platform
