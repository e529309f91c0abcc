// Profile service on kernel32's profile functions and directory search.
#pragma once
#include "platform/Profile.h"

namespace orv::win32 {

class Win32Profile : public platform::Profile {
public:
    std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& defaultText, std::uint32_t bufferSize,
                                        const std::string& file) override;
    std::int32_t GetPrivateProfileInt(const std::string& section, const std::string& key, std::int32_t defaultValue,
                                      const std::string& file) override;
    bool FindNormalFile(const std::string& name) override;
};

} // namespace orv::win32
