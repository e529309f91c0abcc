// Process service: where the agent runs from, and ending it at once.
#pragma once
#include <cstdint>
#include <string>

namespace orv::platform {

class Process {
public:
    virtual ~Process() = default;
    // The folder of the running executable, without a trailing "\" except at a drive's root.
    virtual std::string ApplicationFolder() = 0;
    virtual std::uint32_t ProcessId() = 0;
    // A number from the system's random source, that nobody can foresee.
    virtual std::uint32_t RandomNumber() = 0;
    // Ends the agent's process at once with `exitCode` (0: the run ended as designed; 1: an
    // error ended it): no further code of the agent runs. A test double may throw instead (see
    // tests/fakes), which core code never catches.
    virtual void EndNow(std::uint32_t exitCode) = 0;
};

} // namespace orv::platform
