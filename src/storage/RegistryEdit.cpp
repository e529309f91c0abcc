#include "storage/RegistryEdit.h"

// Not built yet: the registry access by hive name comes next.
namespace orv {
std::uint32_t GetHiveHandle(AgentContext&, const std::string&) { return kHiveNone; }
std::int32_t ReadSetting(AgentContext&, const std::string&, const std::string&, const std::string&,
                         const std::string&, const Variant& d, Variant& value) {
    value = d;
    return kReadSettingNoRoot;
}
} // namespace orv
