// Process service: the executable's folder, the process id, random numbers and ending the process.
#pragma once
#include "platform/Process.h"
#include "win32/Win32Api.h"

namespace orv::win32 {

class Win32Process : public platform::Process {
public:
    std::string ApplicationFolder() override;
    std::uint32_t ProcessId() override;
    platform::Elevation ProcessElevation() override;
    std::uint32_t RandomNumber() override;
    [[noreturn]] void EndNow(std::uint32_t exitCode) override;
};

// What `token` (opened with TOKEN_QUERY) says of its rights: a Default token, not elevated, where
// the system cannot tell.
platform::Elevation ElevationOfToken(HANDLE token);

// The folder part of an executable's full path: without a trailing "\" except at a drive's root
// ("C:\Apps\Orvastell.exe" -> "C:\Apps", "C:\Orvastell.exe" -> "C:\").
std::string FolderOfPath(const std::string& path);

} // namespace orv::win32
