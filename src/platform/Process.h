// Process service: where the agent runs from, with which rights, and ending it at once.
#pragma once
#include <cstdint>
#include <string>

namespace orv::platform {

// How the system made the rights of the agent's process, as its token says.
enum class TokenElevation {
    // A token that was never split: no elevation prompt on this machine (UAC off, or a system
    // without it), so whoever runs the agent runs everything with the same rights.
    Default,
    // Raised by elevation: an administrator who said yes to the elevation prompt, or who typed
    // their own credentials over a user's session. It has a limited twin that the same user's
    // other programs run with.
    Full,
    // The limited twin of a split token: how a user's program runs where the prompt is on.
    Limited,
};

struct Elevation {
    TokenElevation type = TokenElevation::Default;
    bool elevated = false;  // the token has an administrator's rights
};

class Process {
public:
    virtual ~Process() = default;
    // The folder of the running executable, without a trailing "\" except at a drive's root.
    virtual std::string ApplicationFolder() = 0;
    virtual std::uint32_t ProcessId() = 0;
    // What the process's token says of its rights; a system that cannot tell (one without
    // elevation) reports a Default token.
    virtual Elevation ProcessElevation() = 0;
    // A number from the system's random source, that nobody can foresee.
    virtual std::uint32_t RandomNumber() = 0;
    // Ends the agent's process at once with `exitCode` (0: the run ended as designed; 1: an
    // error ended it): no further code of the agent runs. A test double may throw instead (see
    // tests/fakes), which core code never catches.
    virtual void EndNow(std::uint32_t exitCode) = 0;
};

} // namespace orv::platform
