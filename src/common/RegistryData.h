// One registry value read whole: the key opened, the value queried, the key closed. Both typed
// readers (by root handle and by root name) go through it, each with its own buffer sizes and
// its own reading of the statuses.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace orv {

struct RegistryQuery {
    std::uint32_t access = platform::kKeyRead;
    std::uint32_t type = platform::kRegNone;  // handed in to the query
    std::uint32_t firstSize = 0;              // 0: a data area with no room, which asks for the size
    bool query = true;                        // false: the key is only opened and closed
    bool again = true;                        // on 234, once more into a buffer of the size reported
};

struct RegistryData {
    std::int32_t openStatus = platform::kErrorSuccess;  // nothing else was done unless it is 0
    std::int32_t status = platform::kErrorSuccess;      // of the last query
    std::uint32_t type = platform::kRegNone;            // as the queries left it
    std::vector<std::uint8_t> bytes;                    // the data, on success only, never beyond the buffer
    std::int32_t closeStatus = platform::kErrorSuccess;
};

RegistryData ReadRegistryData(platform::Registry& registry, std::uint32_t root, const std::string& keyPath,
                              const std::string& valueName, const RegistryQuery& query);

// The text of a value of `type` (text, expandable text or multi-text): its terminators are
// dropped only where they are there, since a writer may store a text without its NUL. One NUL
// at the end of a text; up to two at the end of a multi-text, which gives empty text when it is
// shorter than its two terminators.
std::string TextOfRegistryData(const std::vector<std::uint8_t>& bytes, std::uint32_t type);

// The first four bytes (fewer fill only the low bytes), little-endian.
std::uint32_t LittleEndianOf(const std::vector<std::uint8_t>& bytes);

} // namespace orv
