// What every fuzz target uses to state a property: a broken property stops the run with a
// message and an abort, which libFuzzer records as a crash together with the input.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition, message)                                                           \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "\nProperty broken at %s:%d: %s\n  %s\n", __FILE__, __LINE__,   \
                         #condition, std::string(message).c_str());                              \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

namespace orv::fuzz {

// Bytes in a printable form for the messages above.
inline std::string Shown(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '"' || c == '\\') out += std::string("\\") + static_cast<char>(c);
        else if (c < 32 || c >= 127) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else out += static_cast<char>(c);
    }
    return out + "\"";
}

} // namespace orv::fuzz
