// Internet module: the runtime download and installation, the start of a download in the
// download window, and the provisioning of the transfer control.
#pragma once
#include "common/Context.h"

namespace orv {

void DownloadAccessRuntime(AgentContext& ctx);
void InstallAccessRuntime(AgentContext& ctx);
void StartDownload(AgentContext& ctx, const Variant& size, const Variant& target, const Variant& address);
Variant EnsureTransferControl(AgentContext& ctx);

} // namespace orv
