// What one run of the agent works on: the platform services, the settings record that several
// modules share, and the windows' single instances.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

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

// The agent's two windows, each defined by the layer that makes it (download, update).
class DownloadWindow;
class UpdateWindow;

// An object of a type that a higher layer defines, held here by its type: that layer makes it with
// MakeHeld, which gives it the function that destroys it, so the context destroys it without
// knowing more of it than its name.
template <typename T> using Held = std::unique_ptr<T, void (*)(T*)>;

template <typename T, typename... Args> Held<T> MakeHeld(Args&&... args) {
    return Held<T>(new T(std::forward<Args>(args)...), [](T* object) { delete object; });
}

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
    Held<DownloadWindow> downloadWindow{nullptr, nullptr};
    Held<UpdateWindow> updateWindow{nullptr, nullptr};
};

} // namespace orv
