// The "Automatic Update" window: a caption and one status line; no code of its own.
#pragma once
#include <memory>

#include "agent/Agent.h"
#include "agent/Windows.h"
#include "platform/Windows.h"

namespace orv {

class frmAutoUpdate : public Form {
public:
    explicit frmAutoUpdate(AgentContext& ctx);
    ~frmAutoUpdate() override;

    void Load() override;
    void Show() override;
    // Paints the window completely at once.
    void Refresh();
    void Unload();
    bool Loaded() const { return view_ != nullptr; }

private:
    AgentContext& ctx_;
    std::unique_ptr<platform::UpdateWindowView> view_;
};

} // namespace orv
