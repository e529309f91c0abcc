// Profile service: the Windows profile (INI) functions and the directory search used to tell
// whether a text names an existing file.
#pragma once
#include <cstdint>
#include <string>

namespace orv::platform {

class Profile {
public:
    virtual ~Profile() = default;
    // GetPrivateProfileStringA with a buffer of `bufferSize` characters: returns the characters
    // copied (at most bufferSize - 1), the default text when the key is missing.
    virtual std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                                const std::string& defaultText, std::uint32_t bufferSize,
                                                const std::string& file) = 0;
    virtual std::int32_t GetPrivateProfileInt(const std::string& section, const std::string& key,
                                              std::int32_t defaultValue, const std::string& file) = 0;
    // Directory search for the first normal file (not a folder, hidden or system file) that
    // matches `name`; wildcards match as in any directory search. Throws AgentError for a
    // malformed path.
    virtual bool FindNormalFile(const std::string& name) = 0;
};

} // namespace orv::platform
