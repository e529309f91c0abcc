// Registry service on the narrow registry functions of advapi32.
#pragma once
#include "platform/Registry.h"

namespace orv::win32 {

class Win32Registry : public platform::Registry {
public:
    std::int32_t OpenKey(std::uint32_t root, const std::string& subKey, std::uint32_t access,
                         platform::RegKey& key) override;
    std::int32_t QueryValue(platform::RegKey key, const std::string& name, std::uint32_t& type, std::uint8_t* data,
                            std::uint32_t& size) override;
    std::int32_t CloseKey(platform::RegKey key) override;
};

} // namespace orv::win32
