// RegistryEdit module: one typed setting read from a registry root named by text, or from an INI
// file named in its place.
#pragma once
#include <cstdint>
#include <string>

#include "common/Context.h"

namespace orv {

inline constexpr std::int32_t kReadSettingNoRoot = 99;
// GetHiveHandle's markers: the text names an existing file (read as INI), or nothing at all.
inline constexpr std::uint32_t kHiveIniFile = 1;
inline constexpr std::uint32_t kHiveNone = 0;

std::uint32_t GetHiveHandle(AgentContext& ctx, const std::string& rootName);
// Status 0 on success (and for every INI read), 99 when the root name is neither a root nor an
// existing file, else the Windows status of the failing registry call. `value` holds `defaultValue`
// whenever no read succeeded. Letters: "S" text, "B" Boolean of 2 bytes, "D" 32-bit integer of 4
// bytes, any case; other letters read nothing. From an INI file "S" reads the text (at most 254
// characters) and "D" and "B" the key's integer.
std::int32_t ReadSetting(AgentContext& ctx, const std::string& rootName, const std::string& keyPath,
                         const std::string& valueName, const std::string& typeLetter, const Variant& defaultValue,
                         Variant& value);

} // namespace orv
