#include "download/Internet.h"

#include <utility>

#include "common/AgentWindow.h"
#include "common/Messages.h"
#include "download/DownloadWindow.h"
#include "probe/Registry.h"
#include "util/Files.h"

namespace orv {
namespace {

constexpr std::int32_t kRuntimeSizeKB = 34148;
constexpr const char* kRuntimeCaption = "File download - Microsoft Access 2003 Runtime";

std::string NotNamedText(const std::string& file) {
    return "The file " + file + " is not the one this program was built to install, so nothing was installed.";
}

// What the check of one of the control's files in the updates folder found.
enum class SourceCheck { Named, NotNamed, Unreadable };

// A file that cannot be read is reported as the copy that cannot be made.
SourceCheck CheckSource(AgentContext& ctx, const std::string& path, const platform::Sha256Digest& expected) {
    try {
        const std::optional<platform::Sha256Digest> digest = FileDigest(ctx, path, PendingCopy::kMaxDigestLength);
        return digest && *digest == expected ? SourceCheck::Named : SourceCheck::NotNamed;
    } catch (const AgentError& e) {
        ReportCopyFailure(ctx, e, path);
        return SourceCheck::Unreadable;
    }
}

ControlProvisioning Register(AgentContext& ctx, const std::string& systemControl) {
    return RegisterComponent(ctx, systemControl) ? ControlProvisioning::Registered : ControlProvisioning::CopiedOnly;
}

// Copies the control and its companion beside their places in the system folder, and lets them
// take their names, and registers the control, only when each is the file the build names: run
// with an administrator's rights, the agent must not install and register whatever someone who
// can write its updates folder has put there. Both are checked where they are before anything is
// written into the system folder (a file that is not the named one, a huge one included, costs no
// write there), and the bytes the copies wrote are checked again before either takes its name, so
// a file changed after its check is not installed either. A wrong one installs neither.
ControlProvisioning InstallNamedControl(AgentContext& ctx, const std::string& updatesControl,
                                        const std::string& systemControl, const std::string& updatesCompanion,
                                        const std::string& systemCompanion) {
    const auto notNamed = [&](const std::string& file) {
        ShowError(ctx, NotNamedText(file));
        return ControlProvisioning::NotCopied;
    };
    const std::optional<ControlChecksums> expected = ParseControlChecksums(ctx.control.sha256);
    if (!expected) return notNamed(updatesControl);
    const SourceCheck controlCheck = CheckSource(ctx, updatesControl, expected->control);
    if (controlCheck == SourceCheck::Unreadable) return ControlProvisioning::NotCopied;
    if (controlCheck == SourceCheck::NotNamed) return notNamed(updatesControl);
    // A companion that cannot be read has been reported and, as without the check, does not stop
    // the control's installation; one that is not the named file stops everything.
    const SourceCheck companionCheck = CheckSource(ctx, updatesCompanion, expected->companion);
    if (companionCheck == SourceCheck::NotNamed) return notNamed(updatesCompanion);

    std::optional<PendingCopy> control = PrepareCopy(ctx, updatesControl, systemControl, true);
    if (!control) return ControlProvisioning::NotCopied;
    if (control->Digest() != expected->control) return notNamed(updatesControl);
    std::optional<PendingCopy> companion = companionCheck == SourceCheck::Named
                                               ? PrepareCopy(ctx, updatesCompanion, systemCompanion, true)
                                               : std::nullopt;
    if (companion && companion->Digest() != expected->companion) return notNamed(updatesCompanion);
    if (!CommitCopy(ctx, *control)) return ControlProvisioning::NotCopied;
    if (companion) (void)CommitCopy(ctx, *companion);
    return Register(ctx, systemControl);
}

// Empty when the file at `path` is, on the disk now, the one whose SHA-256 `sha256` names; else
// what the user is told.
std::string CheckNamedFile(AgentContext& ctx, const std::string& path, const std::string& sha256) {
    try {
        const std::optional<platform::Sha256Digest> expected = ParseSha256(sha256);
        const std::optional<platform::Sha256Digest> actual = FileDigest(ctx, path, PendingCopy::kMaxDigestLength);
        if (expected && actual && *expected == *actual) return {};
    } catch (const AgentError& e) {
        return "The file " + path + " could not be checked: " + e.Description();
    }
    return NotNamedText(path);
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
    // The installer reads both files from the disk, later, after its own elevation prompt: where
    // the build names them, they are checked there, right before the hand-over, and not in the
    // agent's memory.
    const std::pair<const std::string&, const std::string&> named[] = {
        {ctx.settings.DownloadFilePath, ctx.settings.DownloadSHA256}, {package, ctx.runtime.packageSha256}};
    for (const auto& [file, sha256] : named) {
        if (sha256.empty()) continue;
        const std::string problem = CheckNamedFile(ctx, file, sha256);
        if (problem.empty()) continue;
        ShowError(ctx, problem);
        ctx.platform.process.EndNow(1);
        return;
    }
    // An installer the shell would not open has been reported; that run ended in an error.
    if (!OpenWithShell(ctx, package)) ctx.platform.process.EndNow(1);
}

void StartDownload(AgentContext& ctx, const Variant& size, const Variant& target, const Variant& address) {
    TheDownloadWindow(ctx).Start(size, target, address);
}

ControlProvisioning ProvisionTransferControl(AgentContext& ctx) {
    const std::string appFolder = ctx.platform.process.ApplicationFolder();
    const std::string systemControl = GetSystemFolder(ctx) + "\\MSINET.OCX";
    const std::string updatesControl = appFolder + "\\updates\\MSINET.OCX";
    const std::string systemCompanion = GetSystemFolder(ctx) + "\\MSINET.oca";
    const std::string updatesCompanion = appFolder + "\\updates\\MSINET.oca";

    // A control already in place is left alone, registered or not.
    if (FileExists(ctx, systemControl)) return ControlProvisioning::InPlace;
    if (!ctx.control.sha256.empty())
        return InstallNamedControl(ctx, updatesControl, systemControl, updatesCompanion, systemCompanion);
    if (!CopyFile(ctx, updatesControl, systemControl)) return ControlProvisioning::NotCopied;
    // The companion goes first, so the registration finds it; a failed copy of it has been
    // reported and does not stop the registration.
    (void)CopyFile(ctx, updatesCompanion, systemCompanion);
    return Register(ctx, systemControl);
}

Variant EnsureTransferControl(AgentContext& ctx) {
    return ProvisionTransferControl(ctx) != ControlProvisioning::NotCopied;
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
