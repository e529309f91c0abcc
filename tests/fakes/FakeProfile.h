#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Profile.h"

namespace orv::fakes {

class FakeFileSystem;

class FakeProfile : public platform::Profile {
public:
    explicit FakeProfile(FakeFileSystem& files) : files_(files) {}
    // Like Windows: blanks around keys and values are trimmed, names compare without case.
    std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& defaultText, std::uint32_t bufferSize,
                                        const std::string& file) override;
    std::int32_t GetPrivateProfileInt(const std::string& section, const std::string& key, std::int32_t defaultValue,
                                      const std::string& file) override;
    bool FindNormalFile(const std::string& name) override;
    std::vector<std::string> calls;

private:
    FakeFileSystem& files_;
};

} // namespace orv::fakes
