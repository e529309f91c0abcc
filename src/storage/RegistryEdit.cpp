#include "storage/RegistryEdit.h"

#include "common/RegistryData.h"
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

        // "S" asks for the size first and then reads the whole value; "B" and "D" read at most
        // their 2 or 4 bytes (a longer value fails with 234). The type the query reports is not
        // looked at; other letters only open and close the key.
        RegistryQuery query;
        query.access = platform::AccessInAgentView(root, platform::kKeyQueryValue);
        query.query = letter == "S" || letter == "B" || letter == "D";
        query.again = letter == "S";
        query.type = letter == "S" ? platform::kRegSz : letter == "B" ? platform::kRegBinary : platform::kRegDword;
        query.firstSize = letter == "B" ? 2 : letter == "D" ? 4 : 0;
        const RegistryData data = ReadRegistryData(ctx.platform.registry, root, keyPath, valueName, query);
        status = data.openStatus;
        if (status != platform::kErrorSuccess) return status;
        status = data.status;
        if (status != platform::kErrorSuccess) return status;
        // A value with no data at all leaves the default.
        if (letter == "S" && !data.bytes.empty()) value = TextOfRegistryData(data.bytes, platform::kRegSz);
        else if (letter == "B") value = (LittleEndianOf(data.bytes) & 0xFFFFu) != 0;
        else if (letter == "D") value = static_cast<std::int32_t>(LittleEndianOf(data.bytes));
        return data.closeStatus;
    } catch (const AgentError&) {
        // Ends the read with the status as it stands; the key has been closed.
        return status;
    }
}

} // namespace orv
