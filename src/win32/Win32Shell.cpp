#include "win32/Win32Shell.h"

#include <vector>

#include "win32/Win32Api.h"
#include "win32/Win32Errors.h"
#include "win32/Win32Handles.h"

namespace orv::win32 {

std::intptr_t Win32Shell::ShellExecute(const std::string& verb, const std::string& file,
                                       const std::string& parameters, std::int32_t show) {
    const HINSTANCE result =
        ::ShellExecuteA(nullptr, verb.c_str(), file.c_str(), parameters.c_str(), nullptr, show);
    return reinterpret_cast<std::intptr_t>(result);
}

std::string Win32Shell::ShellExecuteErrorText(std::intptr_t result) {
    // ShellExecuteA answers with the old SE_ERR_* numbers, some of which are Windows errors of
    // their own and some not: each is told with the message of the Windows error it stands for.
    DWORD code = static_cast<DWORD>(result);
    switch (result) {
    case 0:
        code = ERROR_NOT_ENOUGH_MEMORY;
        break;
    case SE_ERR_SHARE:
        code = ERROR_SHARING_VIOLATION;
        break;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
        code = ERROR_NO_ASSOCIATION;
        break;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
        code = ERROR_DDE_FAIL;
        break;
    case SE_ERR_DLLNOTFOUND:
        code = ERROR_DLL_NOT_FOUND;
        break;
    default:
        // SE_ERR_FNF, SE_ERR_PNF, SE_ERR_ACCESSDENIED, SE_ERR_OOM and ERROR_BAD_FORMAT are the
        // Windows errors of the same numbers.
        break;
    }
    return SystemErrorText(code);
}

std::uint32_t Win32Shell::StartProcess(const std::string& program, const std::string& commandLine,
                                       std::int32_t show) {
    // CreateProcessA may write into the command line, so it gets its own copy.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION process{};
    // The program is named by its path, so the system does not search the folders (the
    // program's own, the current one, PATH) that the command line's first word would be looked
    // up in.
    if (!::CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        throw FileError(::GetLastError());
    // Nothing waits for the new process; its handles are not needed, and are closed here (the
    // thread's first).
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
    return process.dwProcessId;
}

std::uint32_t Win32Shell::GetSystemDirectory(std::string& buffer) {
    return ::GetSystemDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
}

std::uint32_t Win32Shell::GetSystemWow64Directory(std::string& buffer) {
    return ::GetSystemWow64DirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
}

} // namespace orv::win32
