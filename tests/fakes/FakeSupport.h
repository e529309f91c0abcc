// What the fakes share: the journal they append to, and the blank trimming of the profile
// functions and the number parsing.
#pragma once
#include <string>
#include <vector>

namespace orv::fakes {

// One journal for all services, so a test can check the order of effects across them.
using Journal = std::vector<std::string>;

// Blanks and tabs taken off both ends, as the profile functions and the number parsing do.
inline std::string TrimBlanks(const std::string& s) {
    const auto a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    const auto b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

} // namespace orv::fakes
