// Internet module: the runtime download and installation, the start of a download in the
// download window, and the provisioning of the transfer control.
#pragma once
#include "agent/Agent.h"

namespace orv {

// The product's download server; the build may set another one.
#ifndef ORV_DOWNLOAD_HOST
#define ORV_DOWNLOAD_HOST "downloads.quenlark.com"
#endif
inline constexpr const char* kRuntimeDownloadPath = "/downloads/runtime/ACCESSRT.CAB";

void DownloadAccessRuntime(AgentContext& ctx);
void InstallAccessRuntime(AgentContext& ctx);
void StartDownload(AgentContext& ctx, const Variant& size, const Variant& target, const Variant& address);
Variant EnsureTransferControl(AgentContext& ctx);

} // namespace orv
