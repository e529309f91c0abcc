#include "fakes/FakeRegistry.h"

#include <algorithm>
#include <string>

#include "util/Array.h"

namespace orv::fakes {

namespace {
// HKEY_LOCAL_MACHINE is seen in two views on 64-bit Windows; the other roots are shared.
enum class View { Shared, Bits32, Bits64 };
std::string KeyName(std::uint32_t root, const std::string& path, View view) {
    const char* tag = view == View::Bits32 ? "/32" : view == View::Bits64 ? "/64" : "";
    return std::to_string(root) + tag + "|" + ToLowerAscii(path);
}
std::string KeyName(std::uint32_t root, const std::string& path) {
    return KeyName(root, path, root == platform::kHkeyLocalMachine ? View::Bits32 : View::Shared);
}
} // namespace

void FakeRegistry::SetKey(std::uint32_t root, const std::string& path) { keys_[KeyName(root, path)]; }

void FakeRegistry::SetValue(std::uint32_t root, const std::string& path, const std::string& name, std::uint32_t type,
                            std::vector<std::uint8_t> data) {
    keys_[KeyName(root, path)].values[ToLowerAscii(name)] = Value{type, std::move(data)};
}

void FakeRegistry::SetStringIn64BitView(std::uint32_t root, const std::string& path, const std::string& name,
                                        const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    keys_[KeyName(root, path, View::Bits64)].values[ToLowerAscii(name)] = Value{platform::kRegSz, std::move(data)};
}

void FakeRegistry::SetString(std::uint32_t root, const std::string& path, const std::string& name,
                             const std::string& text, std::uint32_t type) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    SetValue(root, path, name, type, std::move(data));
}

void FakeRegistry::SetDword(std::uint32_t root, const std::string& path, const std::string& name, std::uint32_t v) {
    SetValue(root, path, name, platform::kRegDword,
             {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
              static_cast<std::uint8_t>(v >> 24)});
}

void FakeRegistry::DenyAccess(std::uint32_t root, const std::string& path) { keys_[KeyName(root, path)].denied = true; }

std::int32_t FakeRegistry::OpenKey(std::uint32_t root, const std::string& subKey, std::uint32_t access,
                                   platform::RegKey& key) {
    accessMasks.push_back(access);
    View view = View::Shared;
    if (root == platform::kHkeyLocalMachine) view = (access & platform::kKeyWow64_32Key) ? View::Bits32 : View::Bits64;
    auto it = keys_.find(KeyName(root, subKey, view));
    if (it == keys_.end()) return platform::kErrorFileNotFound;
    if (it->second.denied) return platform::kErrorAccessDenied;
    key = next_++;
    handles_[key] = it->first;
    openKeys.insert(key);
    ++opens;
    return 0;
}

std::int32_t FakeRegistry::QueryValue(platform::RegKey key, const std::string& name, std::uint32_t& type,
                                      std::uint8_t* data, std::uint32_t& size) {
    ++queries;
    querySizes.push_back(size);
    if (onQuery) onQuery(queries);
    auto h = handles_.find(key);
    if (h == handles_.end() || !openKeys.count(key)) return 6;  // ERROR_INVALID_HANDLE
    const Key& k = keys_.at(h->second);
    auto v = k.values.find(ToLowerAscii(name));
    if (v == k.values.end()) return platform::kErrorFileNotFound;
    const auto needed = static_cast<std::uint32_t>(v->second.data.size());
    if (data == nullptr) {  // Windows: only the size and type are asked for
        size = needed;
        type = v->second.type;
        return 0;
    }
    if (size < needed) {
        size = needed;
        type = v->second.type;
        return platform::kErrorMoreData;
    }
    std::copy(v->second.data.begin(), v->second.data.end(), data);
    size = needed;
    type = v->second.type;
    return 0;
}

std::int32_t FakeRegistry::CloseKey(platform::RegKey key) {
    ++closes;
    if (!openKeys.erase(key)) {
        ++badCloses;
        return 6;
    }
    return 0;
}

} // namespace orv::fakes
