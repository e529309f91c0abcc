// The "Automatic Update" window: a caption and one status line; no code of its own.
#pragma once
#include <memory>

#include "common/AgentWindow.h"
#include "common/Context.h"
#include "platform/WindowToolkit.h"

namespace orv {

class UpdateWindow : public AgentWindow {
public:
    explicit UpdateWindow(AgentContext& ctx);
    ~UpdateWindow() override;

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

// The update window's single instance of the run, made when first asked for.
UpdateWindow& TheUpdateWindow(AgentContext& ctx);

} // namespace orv
