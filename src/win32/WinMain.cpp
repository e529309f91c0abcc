// Orvastell.exe: builds the Windows platform, runs the agent's start procedure and keeps the
// program alive while one of its windows is open.
#include <cstring>
#include <exception>
#include <string>

#include "agent/Agent.h"
#include "common/Messages.h"
#include "platform/Trace.h"
#include "win32/Win32Api.h"
#include "win32/Win32Handles.h"
#include "win32/Win32Libraries.h"
#include "win32/Win32Platform.h"

namespace {

// The build's settings, each kept in the program as one text that begins with its name: the
// release check reads the value after the name from the program's file, and that value is the
// one used here.
constexpr char kDownloadUrlSetting[] = "ORV_DOWNLOAD_URL=" ORV_DOWNLOAD_URL;
constexpr char kDownloadSha256Setting[] = "ORV_DOWNLOAD_SHA256=" ORV_DOWNLOAD_SHA256;
constexpr char kControlSha256Setting[] = "ORV_CONTROL_SHA256=" ORV_CONTROL_SHA256;
constexpr char kPackageSha256Setting[] = "ORV_PACKAGE_SHA256=" ORV_PACKAGE_SHA256;

std::string SettingValue(const char* setting) {
    // Taken through a volatile pointer: the compiler would otherwise keep only the part after the
    // name, or no text at all, and the release check could not read it.
    const char* volatile whole = setting;
    return std::strchr(whole, '=') + 1;
}

int RunAgent() {
    // The services are made before the context, so that they outlive the windows it owns.
    orv::win32::Win32Services<> services;
    orv::AgentContext ctx(services.platform,
                          orv::RuntimeSource{SettingValue(kDownloadUrlSetting), SettingValue(kDownloadSha256Setting),
                                             SettingValue(kPackageSha256Setting)},
                          orv::ControlSource{SettingValue(kControlSha256Setting)});
    ORV_TRACE_EVENT("agent started");

    if (!orv::RunMain(ctx)) return 1;
    try {
        services.windows.PumpUntilNoWindows();
    } catch (const orv::AgentError& e) {
        // An error escaping a window's event handler ends the run like one escaping Main.
        orv::ReportUnhandledError(ctx, e);
        return 1;
    }
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ORV_TRACE_EVENT("WinMain entered");
    // Before anything can load a library: none may come from the agent's own folder, which
    // its users can write, nor from the current folder.
    orv::win32::RestrictLibrarySearch();
    // The common controls are initialised with the first window, WinINet with the first download:
    // a run that only opens the front-end needs neither.
    // The shell's "open" may hand the file to a handler that needs COM on this thread.
    int exitCode = 1;
    {
        const orv::win32::ComApartment com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        ORV_TRACE_EVENT("COM initialised");
        try {
            exitCode = RunAgent();
        } catch (const std::exception& e) {
            // Not one of the agent's own errors (out of memory, say): still a box, not a silent
            // crash.
            ::MessageBoxA(nullptr, e.what(), "Orvastell", MB_OK | MB_ICONERROR);
        }
    }
    ORV_TRACE_EVENT("exit");
    ORV_TRACE_WRITE();
    return exitCode;
}
