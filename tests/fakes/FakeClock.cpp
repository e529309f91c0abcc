#include "fakes/FakeClock.h"

#include <string>

namespace orv::fakes {

float FakeClock::SecondsSinceMidnight() {
    if (!secondsQueue.empty()) {
        seconds = secondsQueue.front();
        secondsQueue.pop_front();
    }
    return seconds;
}

void FakeClock::Sleep(std::uint32_t milliseconds) {
    sleeps.push_back(milliseconds);
    journal_.push_back("sleep " + std::to_string(milliseconds));
    if (onSleep) onSleep(milliseconds);
}

} // namespace orv::fakes
