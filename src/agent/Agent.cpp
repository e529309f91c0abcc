#include "agent/Agent.h"

#include "common/Messages.h"
#include "download/Internet.h"
#include "platform/Trace.h"
#include "probe/Registry.h"
#include "storage/RegistryEdit.h"
#include "update/Update.h"
#include "util/Files.h"

namespace orv {
namespace {

constexpr std::int32_t kMinimumMajorVersion = 11;
constexpr const char* kCrLf = "\r\n";

std::string RuntimeQuestion(const std::string& firstSentence) {
    return firstSentence + kCrLf + kCrLf +
           "Do you wish to download and install the free Microsoft Access 2003 Runtime onto your computer?" + kCrLf +
           kCrLf + "Please note, depending on the speed of your Internet connection, this may take a few minutes.";
}

// A run whose rights were raised by elevation is an administrator's, not the user's whose files it
// would run: the front-end, its update and the runtime's installer all come from folders that user
// can write. It installs the transfer control, which needs those rights, and ends. A token that
// was never split (no elevation prompt on this machine) runs everything with the same rights
// anyway, and runs as usual.
bool RaisedByElevation(AgentContext& ctx) {
    return ctx.platform.process.ProcessElevation().type == platform::TokenElevation::Full;
}

void ProvisionAndEnd(AgentContext& ctx) {
    const ControlProvisioning provisioning = ProvisionTransferControl(ctx);
    const bool installed =
        provisioning == ControlProvisioning::InPlace || provisioning == ControlProvisioning::Registered;
    const std::string& app = ctx.settings.ApplicationName;
    ShowInformation(ctx,
                    std::string("The Internet Transfer control ") + (installed ? "is" : "is not") +
                        " installed. Start " + app + " again without administrator rights to use it.",
                    app);
    // An administrator's script learns that the control is still missing.
    if (!installed) ctx.platform.process.EndNow(1);
}

// The installed Access, as the start decides on it: Access 2003 (major version 11) or later, an
// earlier one, or none.
enum class AccessStatus { Ok, TooOld, NoAccess };

AccessStatus ClassifyAccess(AgentContext& ctx, const Variant& version) {
    if (IsBlank(version)) return AccessStatus::NoAccess;
    return ToInt32(version, ctx.platform.locale) >= kMinimumMajorVersion ? AccessStatus::Ok : AccessStatus::TooOld;
}

} // namespace

void LoadSettings(AgentContext& ctx) {
    auto& s = ctx.settings;
    s.ApplicationName = "Orvastell";
    s.CompanyName = "Quenlark";
    s.FrontEndFileName = "ORV.mde";
    s.RequestTimeout = 60;
    s.ConfigFilePath = ctx.platform.process.ApplicationFolder() + "\\config\\config.ini";
}

void CheckComponents(AgentContext& ctx) { (void)EnsureTransferControl(ctx); }

void RemoveLeftovers(AgentContext& ctx) {
    const std::string folder = ctx.platform.process.ApplicationFolder();
    for (const std::string& target :
         {folder + "\\" + ctx.settings.FrontEndFileName, ctx.settings.ConfigFilePath, RuntimeCabinetPath(ctx)})
        RemoveStaleTemporaryFiles(ctx, target);
}

void Main(AgentContext& ctx) {
    LoadSettings(ctx);
    ORV_TRACE_EVENT("settings loaded");
    // An elevated run touches nothing in the user's folders, their leftovers included.
    if (RaisedByElevation(ctx)) return ProvisionAndEnd(ctx);
    RemoveLeftovers(ctx);
    CheckComponents(ctx);
    ORV_TRACE_EVENT("components checked");
    const Variant version = GetAccessVersion(ctx);

    const AccessStatus accessStatus = ClassifyAccess(ctx, version);
    ORV_TRACE_EVENT("Access classified");

    if (accessStatus == AccessStatus::Ok) {
        RunAutomaticUpdate(ctx);
        LaunchFrontEnd(ctx);
        return;
    }

    const std::string message =
        accessStatus == AccessStatus::NoAccess
            ? RuntimeQuestion("It appears you do not have Microsoft Access 2003 installed on your computer.")
            : RuntimeQuestion("Unfortunately, the version of Microsoft Access installed on your computer is too old.");
    // While the user reads the question, what a download needs is made ready.
    ctx.platform.transfer.Prepare();
    ORV_TRACE_EVENT("question shown");
    const Variant answer = AskQuestion(ctx, message, "Download MS Access 2003 Runtime?");
    ORV_TRACE_EVENT("question answered");
    if (answer.Holds<std::int32_t>() && answer.Get<std::int32_t>() == platform::kIdYes) {
        DownloadAccessRuntime(ctx);
    } else {
        ShowInformation(ctx,
                        "Sorry, " + ctx.settings.ApplicationName +
                            " can not operate without Microsoft Access 2003 (or the Microsoft Access 2003 Runtime), "
                            "and will now close.",
                        "Can not continue");
    }
}

Variant GetInstallFolder(AgentContext& ctx) {
    Variant value;
    const std::int32_t status =
        ReadSetting(ctx, "HKLM", "Software\\" + ctx.settings.CompanyName + "\\" + ctx.settings.ApplicationName, "",
                    "S", std::string(), value);
    if (status != 0) return {};
    std::string folder = ToText(value, ctx.platform.locale);
    const auto first = folder.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    const auto last = folder.find_last_not_of(' ');
    return folder.substr(first, last - first + 1);
}

void LaunchFrontEnd(AgentContext& ctx) {
    const Variant folder = GetInstallFolder(ctx);
    Variant path = folder;
    if (!IsBlank(folder)) path = ToText(folder, ctx.platform.locale) + "\\" + ctx.settings.FrontEndFileName;
    if (!FileExists(ctx, path)) {
        const std::string& app = ctx.settings.ApplicationName;
        ShowError(ctx, "The program file for " + app +
                           " can not be found. Please check that it has not been recently deleted or has not been "
                           "installed correctly.\r\n\r\nIf this problem persists, please reinstall " +
                           app + ".");
        return;
    }
    ORV_TRACE_EVENT("shell open called");
    const bool opened = OpenWithShell(ctx, path);
    ORV_TRACE_EVENT("shell open returned");
    // A front-end the shell would not open has been reported; that run ended in an error.
    ctx.platform.process.EndNow(opened ? 0 : 1);
}

bool RunMain(AgentContext& ctx) {
    try {
        Main(ctx);
        return true;
    } catch (const AgentError& e) {
        ReportUnhandledError(ctx, e);
        return false;
    }
}

} // namespace orv
