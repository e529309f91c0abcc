#include "probe/Registry.h"

// Not built yet: the typed registry reader and the shell operations come next.
namespace orv {
Variant GetRegistryValue(AgentContext&, std::uint32_t, const std::string&, const std::string&,
                         const std::optional<Variant>& d) { return d ? *d : Variant(); }
bool IsOfficeAppInstalled(AgentContext&, OfficeApplication) { return false; }
Variant GetAccessVersion(AgentContext&) { return {}; }
Variant OpenWithShell(AgentContext&, const Variant&) { return {}; }
bool RegisterComponent(AgentContext&, const Variant&) { return false; }
std::string GetSystemFolder(AgentContext&) { return {}; }
} // namespace orv
