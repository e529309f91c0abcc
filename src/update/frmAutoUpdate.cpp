#include "update/frmAutoUpdate.h"

namespace orv {

frmAutoUpdate::frmAutoUpdate(AgentContext& ctx) : ctx_(ctx) {}
frmAutoUpdate::~frmAutoUpdate() = default;

void frmAutoUpdate::Load() {
    if (!view_) view_ = ctx_.platform.windows.CreateUpdateWindow();
}

void frmAutoUpdate::Show() {
    Load();
    view_->Show();
}

void frmAutoUpdate::Refresh() {
    if (view_) view_->Refresh();
}

void frmAutoUpdate::Unload() {
    if (!view_) return;
    view_->Destroy();
    view_.reset();
}

} // namespace orv
