#include "win32/Win32Profile.h"

#include <vector>

#include "win32/Win32Api.h"
#include "win32/Win32Errors.h"
#include "win32/Win32Handles.h"

namespace orv::win32 {

std::string Win32Profile::GetPrivateProfileString(const std::string& section, const std::string& key,
                                                  const std::string& defaultText, std::uint32_t bufferSize,
                                                  const std::string& file) {
    if (bufferSize == 0) return {};
    std::vector<char> buffer(bufferSize, '\0');
    const DWORD copied = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultText.c_str(), buffer.data(),
                                                    bufferSize, file.c_str());
    return std::string(buffer.data(), copied < bufferSize ? copied : bufferSize - 1);
}

std::int32_t Win32Profile::GetPrivateProfileInt(const std::string& section, const std::string& key,
                                                std::int32_t defaultValue, const std::string& file) {
    return static_cast<std::int32_t>(
        ::GetPrivateProfileIntA(section.c_str(), key.c_str(), defaultValue, file.c_str()));
}

bool Win32Profile::FindNormalFile(const std::string& name) {
    // An empty text names no file (a search for it would list the current folder).
    if (name.empty()) return false;
    WIN32_FIND_DATAA found{};
    const UniqueFindHandle search(::FindFirstFileA(name.c_str(), &found));
    if (!search) {
        const DWORD code = ::GetLastError();
        switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_NO_MORE_FILES:
        case ERROR_NOT_READY:  // an empty drive holds no file
            return false;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
            throw AgentError::BadFileNameOrNumber();
        default:
            throw FileError(code);
        }
    }
    constexpr DWORD kNotNormal = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    bool normal = false;
    do {
        if ((found.dwFileAttributes & kNotNormal) == 0) normal = true;
    } while (!normal && ::FindNextFileA(search.get(), &found));
    return normal;
}

} // namespace orv::win32
