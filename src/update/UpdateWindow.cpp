#include "update/UpdateWindow.h"

namespace orv {

UpdateWindow& TheUpdateWindow(AgentContext& ctx) {
    if (!ctx.updateWindow) ctx.updateWindow = MakeHeld<UpdateWindow>(ctx);
    return *ctx.updateWindow;
}

UpdateWindow::UpdateWindow(AgentContext& ctx) : ctx_(ctx) {}
UpdateWindow::~UpdateWindow() = default;

void UpdateWindow::Load() {
    if (!view_) view_ = ctx_.platform.windows.CreateUpdateWindow();
}

void UpdateWindow::Show() {
    Load();
    view_->Show();
}

void UpdateWindow::Refresh() {
    if (view_) view_->Refresh();
}

void UpdateWindow::Unload() {
    if (!view_) return;
    view_->Destroy();
    view_.reset();
}

} // namespace orv
