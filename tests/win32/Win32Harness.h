// The real Windows services for the data the agent touches (registry, profile, files, locale),
// the fakes for what a test cannot answer (boxes, windows, transfers), and scratch places on the
// real system that are removed afterwards.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "fakes/Fakes.h"
#include "win32/Win32Api.h"
#include "win32/Win32FileSystem.h"
#include "win32/Win32Handles.h"
#include "win32/Win32Locale.h"
#include "win32/Win32Profile.h"
#include "win32/Win32Registry.h"

namespace orv::testing {

struct Win32Platform {
    fakes::Journal journal;
    win32::Win32Registry registry;
    win32::Win32Profile profile;
    fakes::FakeShell shell{journal};
    fakes::FakeMessageBox messageBox{journal};
    fakes::FakeWindowToolkit windows{journal};
    fakes::FakeTransferFactory transfer{journal};
    win32::Win32FileSystem files;
    fakes::FakeClock clock{journal};
    win32::Win32Locale locale;
    fakes::FakeProcess process{journal};
    fakes::FakeHash hash;
    platform::Platform platform{registry, profile, shell, messageBox, windows, transfer,
                                files,    clock,   locale, process,    hash};
    AgentContext ctx{platform};
};

// A new, empty folder under the temporary folder; removed with everything in it (read-only
// files included) when the test ends.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// A new key under HKEY_CURRENT_USER\Software\Quenlark, deleted with its values when the test ends.
class ScratchKey {
public:
    ScratchKey();
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;
    // The path below HKEY_CURRENT_USER.
    const std::string& Path() const { return path_; }
    void Set(const std::string& name, DWORD type, const std::vector<std::uint8_t>& data);
    void SetText(const std::string& name, DWORD type, const std::string& text);  // adds the NUL
    void SetDword(const std::string& name, std::uint32_t value);

private:
    // The key the test writes through (the agent's own keys are owned by the core, which closes
    // them through the registry service).
    struct KeyCloser {
        using Handle = HKEY;
        static Handle Invalid() noexcept { return nullptr; }
        bool operator()(Handle key) const noexcept { return ::RegCloseKey(key) == ERROR_SUCCESS; }
    };
    std::string path_;
    win32::Unique<KeyCloser> key_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);  // "<missing>" when the file cannot be opened
void SetReadOnly(const std::string& path, bool readOnly);

} // namespace orv::testing
