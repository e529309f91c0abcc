#include "fakes/FakeProfile.h"

#include <cstdlib>
#include <optional>

#include "common/Error.h"
#include "fakes/FakeFileSystem.h"
#include "fakes/FakeSupport.h"
#include "util/Array.h"

namespace orv::fakes {

namespace {
std::optional<std::string> LookUpIni(const std::string& text, const std::string& section, const std::string& key) {
    bool inSection = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = TrimBlanks(line);
        if (!line.empty() && line.front() == '[') {
            const auto close = line.find(']');
            inSection = close != std::string::npos && ToLowerAscii(TrimBlanks(line.substr(1, close - 1))) ==
                                                          ToLowerAscii(section);
        } else if (inSection) {
            const auto eq = line.find('=');
            if (eq != std::string::npos && ToLowerAscii(TrimBlanks(line.substr(0, eq))) == ToLowerAscii(key))
                return TrimBlanks(line.substr(eq + 1));
        }
        start = end + 1;
    }
    return std::nullopt;
}
} // namespace

std::string FakeProfile::GetPrivateProfileString(const std::string& section, const std::string& key,
                                                 const std::string& defaultText, std::uint32_t bufferSize,
                                                 const std::string& file) {
    calls.push_back("GetPrivateProfileString " + section + "|" + key + "|" + file);
    std::string result = defaultText;
    if (files_.HasFile(file)) {
        if (auto v = LookUpIni(files_.Content(file), section, key)) result = *v;
    }
    if (bufferSize == 0) return {};
    if (result.size() > bufferSize - 1) result.resize(bufferSize - 1);
    return result;
}

std::int32_t FakeProfile::GetPrivateProfileInt(const std::string& section, const std::string& key,
                                               std::int32_t defaultValue, const std::string& file) {
    calls.push_back("GetPrivateProfileInt " + section + "|" + key + "|" + file);
    if (!files_.HasFile(file)) return defaultValue;
    auto v = LookUpIni(files_.Content(file), section, key);
    if (!v) return defaultValue;
    return static_cast<std::int32_t>(std::strtol(v->c_str(), nullptr, 10));
}

bool FakeProfile::FindNormalFile(const std::string& name) {
    calls.push_back("FindNormalFile " + name);
    if (name.find('|') != std::string::npos || name.find('"') != std::string::npos)
        throw AgentError::BadFileNameOrNumber();
    return files_.HasFile(name);
}

} // namespace orv::fakes
