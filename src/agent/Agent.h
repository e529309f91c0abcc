// Agent module: the settings record, the start procedure and the front-end launch.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "util/Error.h"
#include "util/Variant.h"

namespace orv {

class frmDownloadFile;
class frmAutoUpdate;

// The process-wide settings record. Fields hold the empty value of their type until written.
struct AgentSettings {
    std::string ApplicationName;
    std::string CompanyName;
    std::string FrontEndFileName;
    std::string ConfigFilePath;
    std::int32_t RequestTimeout = 0;
    // Shared download settings.
    std::int32_t DownloadSizeKB = 0;
    std::string DownloadURL;
    std::string DownloadTarget;
    bool UnloadWhenDone = false;
    bool InstallWhenDone = false;
    std::string DownloadFilePath;
    // The SHA-256 that the downloaded file must have, in hexadecimal; empty: not checked.
    std::string DownloadSHA256;
};

// Where the runtime's cabinet comes from, as the build sets it (the program takes it from its
// build settings; tests give their own).
struct RuntimeSource {
    std::string url;     // http:// or https://, ending in /ACCESSRT.CAB
    std::string sha256;  // hexadecimal; empty: the file is not checked
};

// Everything one run of the agent works on: the platform services, the settings record and the
// single instances of the two windows (created on first use).
struct AgentContext {
    explicit AgentContext(platform::Platform& p, RuntimeSource runtime = {});
    ~AgentContext();
    AgentContext(const AgentContext&) = delete;
    AgentContext& operator=(const AgentContext&) = delete;

    platform::Platform& platform;
    const RuntimeSource runtime;
    AgentSettings settings;

    // The windows' single instances, created when first asked for.
    frmDownloadFile& DownloadWindow();
    frmAutoUpdate& UpdateWindow();
    bool HasDownloadWindow() const { return downloadWindow_ != nullptr; }
    bool HasUpdateWindow() const { return updateWindow_ != nullptr; }

private:
    std::unique_ptr<frmDownloadFile> downloadWindow_;
    std::unique_ptr<frmAutoUpdate> updateWindow_;
};

// The start procedure; handles no errors itself.
void Main(AgentContext& ctx);
void LoadSettings(AgentContext& ctx);
void CheckComponents(AgentContext& ctx);

Variant GetInstallFolder(AgentContext& ctx);
void LaunchFrontEnd(AgentContext& ctx);

// Runs Main and reports an error that escapes it with ReportUnhandledError. Returns false when
// such an error ended the run.
bool RunMain(AgentContext& ctx);
// The box for an error that no procedure handled: its number and description.
void ReportUnhandledError(AgentContext& ctx, const AgentError& error);

} // namespace orv
