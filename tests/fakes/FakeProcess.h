#pragma once
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "fakes/FakeSupport.h"
#include "platform/Process.h"

namespace orv::fakes {

class FakeProcess : public platform::Process {
public:
    explicit FakeProcess(Journal& journal) : journal_(journal) {}
    std::string ApplicationFolder() override { return applicationFolder; }
    std::uint32_t ProcessId() override { return processId; }
    platform::Elevation ProcessElevation() override { return elevation; }
    // The queued numbers first, then a sequence of its own.
    std::uint32_t RandomNumber() override;
    void EndNow(std::uint32_t exitCode) override;
    std::string applicationFolder = "C:\\Apps\\Orvastell";
    std::uint32_t processId = 4242;
    // A user's run where the elevation prompt is on.
    platform::Elevation elevation{platform::TokenElevation::Limited, false};
    std::deque<std::uint32_t> randomNumbers;
    std::uint32_t nextRandom = 0x5eed0001;
    bool ended = false;
    std::optional<std::uint32_t> exitCode;  // the code it ended with

private:
    Journal& journal_;
};

} // namespace orv::fakes
