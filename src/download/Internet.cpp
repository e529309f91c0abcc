#include "download/Internet.h"

#include "common/AgentWindow.h"
#include "common/Messages.h"
#include "download/DownloadWindow.h"
#include "probe/Registry.h"
#include "util/Files.h"

namespace orv {
namespace {

constexpr std::int32_t kRuntimeSizeKB = 34148;
constexpr const char* kRuntimeCaption = "File download - Microsoft Access 2003 Runtime";

// Copies the control and its companion beside their places in the system folder, and lets them
// take their names, and registers the control, only when each is the file the build names: run
// with an administrator's rights, the agent must not install and register whatever someone who
// can write its updates folder has put there. Both are checked before either is installed, so a
// wrong one installs neither.
bool InstallNamedControl(AgentContext& ctx, const std::string& updatesControl, const std::string& systemControl,
                         const std::string& updatesCompanion, const std::string& systemCompanion) {
    const std::optional<ControlChecksums> expected = ParseControlChecksums(ctx.control.sha256);
    const auto notNamed = [&](const std::string& file) {
        ShowError(ctx, "The file " + file +
                           " is not the one this program was built to install, so nothing was installed.");
        return false;
    };
    std::optional<PendingCopy> control = PrepareCopy(ctx, updatesControl, systemControl, true);
    if (!control) return false;
    if (!expected || control->Digest() != expected->control) return notNamed(updatesControl);
    // A companion that cannot be copied has been reported and, as without the check, does not
    // stop the control's installation; one that is not the named file stops everything.
    std::optional<PendingCopy> companion = PrepareCopy(ctx, updatesCompanion, systemCompanion, true);
    if (companion && companion->Digest() != expected->companion) return notNamed(updatesCompanion);
    if (!CommitCopy(ctx, *control)) return false;
    if (companion) (void)CommitCopy(ctx, *companion);
    (void)RegisterComponent(ctx, systemControl);
    return true;
}

} // namespace

void DownloadAccessRuntime(AgentContext& ctx) {
    ShowForm(TheDownloadWindow(ctx));

    AgentSettings& s = ctx.settings;
    s.DownloadSizeKB = kRuntimeSizeKB;
    s.DownloadURL = ctx.runtime.url;
    s.DownloadTarget = RuntimeCabinetPath(ctx);
    s.UnloadWhenDone = true;
    s.InstallWhenDone = true;
    s.DownloadSHA256 = ctx.runtime.sha256;

    TheDownloadWindow(ctx).SetCaption(kRuntimeCaption);
    StartDownload(ctx, s.DownloadSizeKB, s.DownloadTarget, s.DownloadURL);
}

std::string RuntimeCabinetPath(AgentContext& ctx) {
    return ctx.platform.process.ApplicationFolder() + "\\runtime\\" +
           ToText(GetFileNameFromUrl(ctx, ctx.runtime.url), ctx.platform.locale);
}

void InstallAccessRuntime(AgentContext& ctx) {
    const std::string package = ctx.platform.process.ApplicationFolder() + "\\runtime\\ACCESSRT.MSI";
    if (!FileExists(ctx, package)) {
        // Without the package there is nothing to install; the cabinet stays where it is. The
        // user waited for the download and must learn why nothing follows it.
        ShowError(ctx, "The Microsoft Access 2003 Runtime was downloaded to " + ctx.settings.DownloadFilePath +
                           ", but its installer package " + package + " is missing, so it can not be installed.");
        return;
    }
    // An installer the shell would not open has been reported; that run ended in an error.
    if (!OpenWithShell(ctx, package)) ctx.platform.process.EndNow(1);
}

void StartDownload(AgentContext& ctx, const Variant& size, const Variant& target, const Variant& address) {
    TheDownloadWindow(ctx).Start(size, target, address);
}

Variant EnsureTransferControl(AgentContext& ctx) {
    const std::string appFolder = ctx.platform.process.ApplicationFolder();
    const std::string systemControl = GetSystemFolder(ctx) + "\\MSINET.OCX";
    const std::string updatesControl = appFolder + "\\updates\\MSINET.OCX";
    const std::string systemCompanion = GetSystemFolder(ctx) + "\\MSINET.oca";
    const std::string updatesCompanion = appFolder + "\\updates\\MSINET.oca";

    // A control already in place is left alone, registered or not.
    if (FileExists(ctx, systemControl)) return true;
    if (!ctx.control.sha256.empty())
        return InstallNamedControl(ctx, updatesControl, systemControl, updatesCompanion, systemCompanion);
    if (!CopyFile(ctx, updatesControl, systemControl)) return false;
    // The companion goes first, so the registration finds it; a failed copy of it has been
    // reported and does not stop the registration.
    (void)CopyFile(ctx, updatesCompanion, systemCompanion);
    (void)RegisterComponent(ctx, systemControl);
    return true;
}

std::optional<ControlChecksums> ParseControlChecksums(const std::string& setting) {
    const std::size_t comma = setting.find(',');
    if (comma == std::string::npos) return std::nullopt;
    const std::optional<platform::Sha256Digest> control = ParseSha256(setting.substr(0, comma));
    const std::optional<platform::Sha256Digest> companion = ParseSha256(setting.substr(comma + 1));
    if (!control || !companion) return std::nullopt;
    return ControlChecksums{*control, *companion};
}

} // namespace orv
