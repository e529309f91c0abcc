#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "fakes/FakeSupport.h"
#include "platform/Clock.h"

namespace orv::fakes {

class FakeClock : public platform::Clock {
public:
    explicit FakeClock(Journal& journal) : journal_(journal) {}
    double Now() override { return now; }
    float SecondsSinceMidnight() override;
    void Sleep(std::uint32_t milliseconds) override;
    double now = 46000.5;  // 2025-12-09 12:00:00
    float seconds = 43200.0f;
    // Successive readings of SecondsSinceMidnight, taken before `seconds` is used.
    std::deque<float> secondsQueue;
    std::vector<std::uint32_t> sleeps;
    std::function<void(std::uint32_t)> onSleep;

private:
    Journal& journal_;
};

} // namespace orv::fakes
