// Registry module: typed registry reads, Office version detection, and the shell operations.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "common/Context.h"

namespace orv {

enum class OfficeApplication : std::int32_t { Word = 0, Access = 1, Excel = 2, PowerPoint = 3, Outlook = 4 };

// Reads one value under a predefined root and converts it by its registry type. A key that
// cannot be opened gives `defaultValue` (or the empty value); a value of an unsupported type (or
// one that cannot be read) raises 1001 "Unsupported value type" after the key is closed.
Variant GetRegistryValue(AgentContext& ctx, std::uint32_t root, const std::string& keyPath,
                         const std::string& valueName, const std::optional<Variant>& defaultValue = std::nullopt);
bool IsOfficeAppInstalled(AgentContext& ctx, OfficeApplication application);
// The installed Access version as text (such as "11" or ".9"), or the empty value.
Variant GetAccessVersion(AgentContext& ctx);

// Opens a file with the shell verb "open". True when the shell took the file; false after one
// error box that names the file and gives the system's reason (the shell could not open it: no
// program for its type, access denied, ...) or the error raised on the way.
bool OpenWithShell(AgentContext& ctx, const Variant& path);
// Starts "regsvr32 /s <path>" hidden, without waiting; true when the process was started.
bool RegisterComponent(AgentContext& ctx, const Variant& path);
// The system folder without a trailing "\", or "" when it cannot be read.
std::string GetSystemFolder(AgentContext& ctx);

} // namespace orv
