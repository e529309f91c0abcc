#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace orv::fakes {

// A 64-bit Windows on which the product and its components were installed by 32-bit
// installers: what the setters write under HKEY_LOCAL_MACHINE is in the 32-bit view, which a key
// opened without KEY_WOW64_32KEY does not see. The other roots are shared between the views.
class FakeRegistry : public platform::Registry {
public:
    struct Value {
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    };
    // A text value where only 64-bit programs look (HKEY_LOCAL_MACHINE without the flag).
    void SetStringIn64BitView(std::uint32_t root, const std::string& path, const std::string& name,
                              const std::string& text);
    // Adds a key (and its value); names are case-insensitive.
    void SetKey(std::uint32_t root, const std::string& path);
    void SetValue(std::uint32_t root, const std::string& path, const std::string& name, std::uint32_t type,
                  std::vector<std::uint8_t> data);
    void SetString(std::uint32_t root, const std::string& path, const std::string& name, const std::string& text,
                   std::uint32_t type = platform::kRegSz);  // stores the terminating zero too
    void SetDword(std::uint32_t root, const std::string& path, const std::string& name, std::uint32_t value);
    void DenyAccess(std::uint32_t root, const std::string& path);

    std::int32_t OpenKey(std::uint32_t root, const std::string& subKey, std::uint32_t access,
                         platform::RegKey& key) override;
    std::int32_t QueryValue(platform::RegKey key, const std::string& name, std::uint32_t& type, std::uint8_t* data,
                            std::uint32_t& size) override;
    std::int32_t CloseKey(platform::RegKey key) override;

    // Keys opened and not yet closed; every close of a key not open is counted as a fault.
    std::set<platform::RegKey> openKeys;
    int opens = 0, closes = 0, badCloses = 0, queries = 0;
    std::vector<std::uint32_t> accessMasks;
    std::vector<std::uint32_t> querySizes;  // the size handed in to each query
    // Runs at the start of each query with its number (from 1), so a test can change a value
    // between two queries as another program could.
    std::function<void(int)> onQuery;

private:
    struct Key {
        std::map<std::string, Value> values;
        bool denied = false;
    };
    std::map<std::string, Key> keys_;
    std::map<platform::RegKey, std::string> handles_;
    platform::RegKey next_ = 0x100;
};

} // namespace orv::fakes
