#include "win32/Win32Errors.h"

#include "win32/Win32Api.h"
#include "win32/Win32Handles.h"

namespace orv::win32 {

std::string SystemErrorText(std::uint32_t code) {
    UniqueLocalText text;
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument is where the text's address goes.
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<LPSTR>(text.put()), 0, nullptr);
    std::string result = length && text ? std::string(text.get(), length) : std::string();
    while (!result.empty() && (result.back() == '\r' || result.back() == '\n' || result.back() == ' '))
        result.pop_back();
    return result;
}

AgentError FileError(std::uint32_t code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return {err::kFileNotFound, "File not found"};
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
        return {err::kPathNotFound, "Path not found"};
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return {err::kPermissionDenied, "Permission denied"};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return {err::kDiskFull, "Disk full"};
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return {err::kFileAlreadyExists, "File already exists"};
    default: {
        std::string text = SystemErrorText(code);
        if (text.empty()) text = "Path/File access error (system error " + std::to_string(code) + ")";
        return {err::kPathFileAccess, text};
    }
    }
}

} // namespace orv::win32
