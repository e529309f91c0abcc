// The agent's own windows as the code that brings them up sees them, and ShowForm, which brings
// one up without waiting for it.
#pragma once

namespace orv {

// A window of the agent, as ShowForm sees it.
class AgentWindow {
public:
    virtual ~AgentWindow() = default;
    // Creates the window and runs its load handler when it does not exist yet.
    virtual void Load() = 0;
    // Makes the window visible, modeless; returns at once.
    virtual void Show() = 0;
};

// Loads the window (when it is not loaded yet) and shows it modeless: returns at once.
void ShowForm(AgentWindow& window);

} // namespace orv
