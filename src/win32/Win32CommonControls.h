// The common controls, version 6 (themed buttons, the progress bar), for the agent's windows and
// message boxes. They are not the process's default: a run that only opens the front-end never
// loads them, and a box can still be shown where they cannot be loaded. Their activation context
// is made from a manifest among the program's resources the first time a window or a box needs
// it, and is active only around the code that creates one.
#pragma once
#include <cstdint>

namespace orv::win32 {

class CommonControlsScope {
public:
    // Activates the context (made on first use); without one (it cannot be made) nothing is
    // activated and the system's plain controls are used.
    CommonControlsScope();
    ~CommonControlsScope();
    CommonControlsScope(const CommonControlsScope&) = delete;
    CommonControlsScope& operator=(const CommonControlsScope&) = delete;
    bool Active() const { return active_; }

private:
    std::uintptr_t cookie_ = 0;
    bool active_ = false;
};

// Loads the common controls library and registers the classes of the agent's windows, once; to
// be called inside a CommonControlsScope, so that the library is version 6. Where it cannot be
// loaded, creating the controls fails and says so.
void EnsureCommonControls();

} // namespace orv::win32
