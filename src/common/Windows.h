// Windows module: bringing up one of the agent's windows without waiting for it.
#pragma once

namespace orv {

// A window of the agent, as ShowForm sees it.
class Form {
public:
    virtual ~Form() = default;
    // Creates the window and runs its load handler when it does not exist yet.
    virtual void Load() = 0;
    // Makes the window visible, modeless; returns at once.
    virtual void Show() = 0;
};

void ShowForm(Form& form);

} // namespace orv
