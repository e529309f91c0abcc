// Internet module: the runtime download and installation, the start of a download in the
// download window, and the provisioning of the transfer control.
#pragma once
#include <optional>
#include <string>

#include "common/Context.h"

namespace orv {

void DownloadAccessRuntime(AgentContext& ctx);
// Where the runtime's cabinet is saved: the runtime folder, under the name its address ends in.
std::string RuntimeCabinetPath(AgentContext& ctx);
// Opens the runtime's installer package beside the saved cabinet. A missing package is reported;
// one that the shell will not open is reported and ends the agent with exit code 1. Where the build
// names their SHA-256s, the saved cabinet and the package are checked on the disk first: one that
// differs is reported, nothing is opened and the agent ends with exit code 1.
void InstallAccessRuntime(AgentContext& ctx);
void StartDownload(AgentContext& ctx, const Variant& size, const Variant& target, const Variant& address);

// What the provisioning of the transfer control came to.
enum class ControlProvisioning {
    InPlace,     // the control was in the system folder already: nothing was done
    Registered,  // copied there, and its registration started
    CopiedOnly,  // copied there, but regsvr32 could not be started (reported)
    NotCopied,   // not copied (reported): nothing was installed
};
ControlProvisioning ProvisionTransferControl(AgentContext& ctx);
// The same, true unless the control could not be copied.
Variant EnsureTransferControl(AgentContext& ctx);

// The SHA-256s of the transfer control and its companion, read from the build's setting
// (ControlSource): the control's, a comma, the companion's, each 64 hexadecimal digits in either
// case, nothing else (no blanks). None for anything else, the empty setting included.
struct ControlChecksums {
    platform::Sha256Digest control{}, companion{};
};
std::optional<ControlChecksums> ParseControlChecksums(const std::string& setting);

} // namespace orv
