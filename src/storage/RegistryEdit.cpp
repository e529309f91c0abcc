#include "storage/RegistryEdit.h"

#include <algorithm>
#include <vector>

#include "util/Array.h"

namespace orv {
namespace {

constexpr std::uint32_t kIniBufferSize = 255;

struct RootName {
    const char* name;
    std::uint32_t handle;
};

// Tested in this order.
constexpr RootName kRootNames[] = {
    {"HKCU", platform::kHkeyCurrentUser}, {"HKLM", platform::kHkeyLocalMachine},
    {"HKU", platform::kHkeyUsers},        {"HKDD", platform::kHkeyDynData},
    {"HKCC", platform::kHkeyCurrentConfig}, {"HKCR", platform::kHkeyClassesRoot},
};


std::uint32_t LittleEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t v = 0;
    for (std::size_t i = count; i-- > 0;) v = (v << 8) | bytes[i];
    return v;
}

std::int32_t ReadFromIni(AgentContext& ctx, const std::string& file, const std::string& section,
                         const std::string& key, const std::string& letter, const Variant& defaultValue,
                         Variant& value) {
    auto& profile = ctx.platform.profile;
    if (letter == "S") {
        value = profile.GetPrivateProfileString(section, key, ToText(defaultValue, ctx.platform.locale),
                                                kIniBufferSize, file);
        return 0;
    }
    const std::int32_t n = profile.GetPrivateProfileInt(section, key, 0, file);
    // The number is given the type the letter asks of a registry read; other letters read
    // nothing into the value, as on the registry.
    if (letter == "D") value = n;
    else if (letter == "B") value = n != 0;
    return 0;
}

} // namespace

std::uint32_t GetHiveHandle(AgentContext& ctx, const std::string& rootName) {
    const std::string upper = ToUpperAscii(rootName);
    for (const auto& root : kRootNames)
        if (upper == root.name) return root.handle;
    try {
        return ctx.platform.profile.FindNormalFile(rootName) ? kHiveIniFile : kHiveNone;
    } catch (const AgentError&) {
        // A name the search cannot take names no file.
        return kHiveNone;
    }
}

std::int32_t ReadSetting(AgentContext& ctx, const std::string& rootName, const std::string& keyPath,
                         const std::string& valueName, const std::string& typeLetter, const Variant& defaultValue,
                         Variant& value) {
    std::int32_t status = kReadSettingNoRoot;
    value = defaultValue;
    try {
        const std::uint32_t root = GetHiveHandle(ctx, rootName);
        if (root == kHiveNone) return kReadSettingNoRoot;
        const std::string letter = ToUpperAscii(typeLetter);
        if (root == kHiveIniFile) return ReadFromIni(ctx, rootName, keyPath, valueName, letter, defaultValue, value);

        auto& registry = ctx.platform.registry;
        platform::RegKey handle = 0;
        status = registry.OpenKey(root, keyPath, platform::AccessInAgentView(root, platform::kKeyQueryValue), handle);
        if (status != platform::kErrorSuccess) return status;
        platform::KeyCloser key(registry, handle);

        if (letter == "S") {
            std::uint32_t type = platform::kRegSz;
            std::uint32_t size = 0;
            std::uint8_t noRoom = 0;  // a data area with no room asks only for the size
            std::vector<std::uint8_t> buffer;
            status = registry.QueryValue(handle, valueName, type, &noRoom, size);
            if (status == platform::kErrorMoreData) {
                buffer.assign(size, 0);
                status = registry.QueryValue(handle, valueName, type, buffer.data(), size);
            }
            if (status != platform::kErrorSuccess) {
                key.Close();
                return status;
            }
            // The terminating zero byte is dropped; a size beyond the buffer is not believed.
            const std::size_t n = std::min<std::size_t>(size, buffer.size());
            if (n >= 1) value = std::string(reinterpret_cast<const char*>(buffer.data()), n - 1);
        } else if (letter == "B" || letter == "D") {
            std::uint32_t type = letter == "B" ? platform::kRegBinary : platform::kRegDword;
            std::uint8_t bytes[4] = {0, 0, 0, 0};
            std::uint32_t size = letter == "B" ? 2 : 4;
            status = registry.QueryValue(handle, valueName, type, bytes, size);
            if (status != platform::kErrorSuccess) {
                key.Close();
                return status;
            }
            if (letter == "B") value = LittleEndian(bytes, 2) != 0;
            else value = static_cast<std::int32_t>(LittleEndian(bytes, 4));
        }
        return key.Close();
    } catch (const AgentError&) {
        // Ends the read with the status as it stands; the guard has closed the key.
        return status;
    }
}

} // namespace orv
