#include "win32/Win32Registry.h"

#include "win32/Win32Api.h"
#include "win32/Win32Handles.h"

namespace orv::win32 {
namespace {

// The predefined roots are 32-bit handle values; on 64-bit Windows their HKEY is the
// sign-extended value (HKEY_CLASSES_ROOT is 0xFFFFFFFF80000000), not the zero-extended one.
HKEY RootHandle(std::uint32_t root) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
}

HKEY KeyHandle(platform::RegKey key) { return reinterpret_cast<HKEY>(key); }

} // namespace

std::int32_t Win32Registry::OpenKey(std::uint32_t root, const std::string& subKey, std::uint32_t access,
                                    platform::RegKey& key) {
    HKEY opened = nullptr;
    const LONG status = ::RegOpenKeyExA(RootHandle(root), subKey.c_str(), 0, access, &opened);
    key = status == ERROR_SUCCESS ? reinterpret_cast<platform::RegKey>(opened) : 0;
    return static_cast<std::int32_t>(status);
}

std::int32_t Win32Registry::QueryValue(platform::RegKey key, const std::string& name, std::uint32_t& type,
                                       std::uint8_t* data, std::uint32_t& size) {
    DWORD queriedType = type;
    DWORD queriedSize = data == nullptr ? 0 : size;
    const LONG status = ::RegQueryValueExA(KeyHandle(key), name.c_str(), nullptr, &queriedType,
                                           reinterpret_cast<LPBYTE>(data), &queriedSize);
    // Only a query that found the value reports its type and size; a failed one must leave the
    // caller's type as it was, whatever the system wrote into its own variable.
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        type = queriedType;
        size = queriedSize;
    }
    return static_cast<std::int32_t>(status);
}

// The core owns the keys this service opens and closes each through here.
std::int32_t Win32Registry::CloseKey(platform::RegKey key) {
    return static_cast<std::int32_t>(::RegCloseKey(KeyHandle(key)));
}

} // namespace orv::win32
