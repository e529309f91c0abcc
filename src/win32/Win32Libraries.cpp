#include "win32/Win32Libraries.h"

#include <string>

namespace orv::win32 {

void RestrictLibrarySearch() {
    // Looked up, not imported: a program that imports it does not start where it is missing.
    const auto setDefaultDllDirectories =
        ORV_PROC_ADDRESS(::GetModuleHandleA("kernel32.dll"), SetDefaultDllDirectories);
    if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    ::SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* name) {
    HMODULE module = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // A system that knows no search flags: by the full path in the system folder.
    char folder[MAX_PATH] = "";
    const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    return ::LoadLibraryA((std::string(folder, length) + "\\" + name).c_str());
}

} // namespace orv::win32
