// Registry service: the narrow (ANSI) registry functions, read only.
#pragma once
#include <cstdint>
#include <string>

namespace orv::platform {

// An opened key as the platform hands it out; 0 is never a valid key.
using RegKey = std::uintptr_t;

// Predefined roots, as their 32-bit handle values.
inline constexpr std::uint32_t kHkeyClassesRoot = 0x80000000u;
inline constexpr std::uint32_t kHkeyCurrentUser = 0x80000001u;
inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kHkeyUsers = 0x80000003u;
inline constexpr std::uint32_t kHkeyCurrentConfig = 0x80000005u;
inline constexpr std::uint32_t kHkeyDynData = 0x80000006u;

inline constexpr std::uint32_t kKeyQueryValue = 0x0001u;
inline constexpr std::uint32_t kKeyRead = 0x20019u;
// KEY_WOW64_32KEY: the 32-bit view of the registry (ignored by 32-bit Windows).
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200u;

// The access to open a key under `root` with. The agent works in a 32-bit world (the database
// runtime, the transfer control and the product's installer are 32-bit programs), and on 64-bit
// Windows what a 32-bit installer writes under HKEY_LOCAL_MACHINE lands in the 32-bit view, so
// a 64-bit build must look there too. The parts of the other roots that the agent reads are
// shared between the views (and some systems have no 32-bit view of HKEY_CLASSES_ROOT to open).
constexpr std::uint32_t AccessInAgentView(std::uint32_t root, std::uint32_t access) {
    return root == kHkeyLocalMachine ? access | kKeyWow64_32Key : access;
}

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorFileNotFound = 2;
inline constexpr std::int32_t kErrorAccessDenied = 5;
inline constexpr std::int32_t kErrorMoreData = 234;

class Registry {
public:
    virtual ~Registry() = default;
    // RegOpenKeyExA(root, subKey, 0, access, &key): Windows status, 0 on success.
    virtual std::int32_t OpenKey(std::uint32_t root, const std::string& subKey, std::uint32_t access,
                                 RegKey& key) = 0;
    // RegQueryValueExA(key, name, 0, &type, data, &size). `data` may be null (size then 0 on input).
    // On 234 `size` holds the size needed; a failed query leaves `type` as it was.
    virtual std::int32_t QueryValue(RegKey key, const std::string& name, std::uint32_t& type,
                                    std::uint8_t* data, std::uint32_t& size) = 0;
    virtual std::int32_t CloseKey(RegKey key) = 0;
};

// Closes an opened key exactly once: by Close() where the order or the status matters, otherwise
// when the reader is left, by an error too.
class KeyCloser {
public:
    KeyCloser(Registry& registry, RegKey key) : registry_(registry), key_(key) {}
    ~KeyCloser() {
        if (open_) registry_.CloseKey(key_);
    }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;
    RegKey Handle() const { return key_; }
    std::int32_t Close() {
        open_ = false;
        return registry_.CloseKey(key_);
    }

private:
    Registry& registry_;
    RegKey key_;
    bool open_ = true;
};

} // namespace orv::platform
