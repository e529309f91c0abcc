#include "download/Internet.h"

// Not built yet: the runtime download and the transfer control provisioning arrive with the
// download window; until then they do nothing.
namespace orv {
void DownloadAccessRuntime(AgentContext&) {}
void InstallAccessRuntime(AgentContext&) {}
void StartDownload(AgentContext&, const Variant&, const Variant&, const Variant&) {}
Variant EnsureTransferControl(AgentContext&) { return true; }
} // namespace orv
