#include "platform/win32/Win32Shell.h"

#include <vector>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Errors.h"

namespace orv::win32 {

std::intptr_t Win32Shell::ShellExecute(const std::string& verb, const std::string& file,
                                       const std::string& parameters, std::int32_t show) {
    const HINSTANCE result =
        ::ShellExecuteA(nullptr, verb.c_str(), file.c_str(), parameters.c_str(), nullptr, show);
    return reinterpret_cast<std::intptr_t>(result);
}

std::uint32_t Win32Shell::StartProcess(const std::string& commandLine, std::int32_t show) {
    // CreateProcessA may write into the command line, so it gets its own copy.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        throw FileError(::GetLastError());
    // Nothing waits for the new process; its handles are not needed.
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return process.dwProcessId;
}

std::uint32_t Win32Shell::GetSystemDirectory(std::string& buffer) {
    return ::GetSystemDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
}

} // namespace orv::win32
