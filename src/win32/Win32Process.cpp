// rand_s, the C runtime's door to the system's random source, is declared only on request.
#define _CRT_RAND_S
#include <stdlib.h>

#include "win32/Win32Process.h"

#include <vector>

#include "platform/Trace.h"
#include "win32/Win32Api.h"
#include "win32/Win32Handles.h"

namespace orv::win32 {

std::string FolderOfPath(const std::string& path) {
    const auto slash = path.find_last_of('\\');
    if (slash == std::string::npos) return {};
    std::string folder = path.substr(0, slash);
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';
    return folder;
}

std::string Win32Process::ApplicationFolder() {
    std::vector<char> buffer(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return FolderOfPath(std::string(buffer.data(), length));
        buffer.assign(buffer.size() * 2, '\0');  // truncated: a long path
    }
}

std::uint32_t Win32Process::ProcessId() { return ::GetCurrentProcessId(); }

platform::Elevation ElevationOfToken(HANDLE token) {
    platform::Elevation result;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    // Windows before Vista knows neither: it has no split tokens.
    if (::GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size)) {
        if (type == TokenElevationTypeFull) result.type = platform::TokenElevation::Full;
        else if (type == TokenElevationTypeLimited) result.type = platform::TokenElevation::Limited;
    }
    if (::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size))
        result.elevated = elevation.TokenIsElevated != 0;
    return result;
}

platform::Elevation Win32Process::ProcessElevation() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    return ElevationOfToken(token.get());
}

std::uint32_t Win32Process::RandomNumber() {
    unsigned int value = 0;
    // Should the source fail, the names built from this still go only where nothing is yet.
    if (rand_s(&value) != 0) value = static_cast<unsigned int>(::GetTickCount64() * 2654435761u);
    return value;
}

void Win32Process::EndNow(std::uint32_t exitCode) {
    ORV_TRACE_EVENT("exit");
    ORV_TRACE_WRITE();
    ::ExitProcess(exitCode);
}

} // namespace orv::win32
