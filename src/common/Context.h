// What one run of the agent works on: the platform services, the settings record that several
// modules share, and the windows' single instances.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "common/AgentWindow.h"
#include "common/Error.h"
#include "common/Variant.h"
#include "platform/Platform.h"

namespace orv {

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

// Where the runtime's cabinet comes from, and the installer package it is handed to, as the build
// sets them (the program takes them from its build settings; tests give their own).
struct RuntimeSource {
    std::string url;            // http:// or https://, ending in /ACCESSRT.CAB
    std::string sha256;         // of the cabinet, hexadecimal; empty: the file is not checked
    std::string packageSha256;  // of ACCESSRT.MSI, hexadecimal; empty: the file is not checked
};

// The transfer control that provisioning may install, as the build names it (the program takes it
// from its build settings; tests give their own): the SHA-256 of MSINET.OCX, a comma, and the
// SHA-256 of MSINET.oca, each 64 hexadecimal digits. Empty: whatever the updates folder holds is
// installed.
struct ControlSource {
    std::string sha256;
};

struct AgentContext {
    explicit AgentContext(platform::Platform& p, RuntimeSource runtime = {}, ControlSource control = {});
    ~AgentContext();
    AgentContext(const AgentContext&) = delete;
    AgentContext& operator=(const AgentContext&) = delete;

    platform::Platform& platform;
    const RuntimeSource runtime;
    const ControlSource control;
    AgentSettings settings;

    // The single instances of the two windows, each made by its own module when first asked for
    // (TheDownloadWindow, TheUpdateWindow) and kept here for the rest of the run.
    std::unique_ptr<AgentWindow> downloadWindow;
    std::unique_ptr<AgentWindow> updateWindow;
};

} // namespace orv
