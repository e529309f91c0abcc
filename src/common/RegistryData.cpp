#include "common/RegistryData.h"

#include <algorithm>

namespace orv {

RegistryData ReadRegistryData(platform::Registry& registry, std::uint32_t root, const std::string& keyPath,
                              const std::string& valueName, const RegistryQuery& query) {
    RegistryData data;
    platform::RegKey handle = 0;
    data.openStatus = registry.OpenKey(root, keyPath, query.access, handle);
    if (data.openStatus != platform::kErrorSuccess) return data;
    platform::KeyCloser key(registry, handle);

    if (query.query) {
        // Never an empty data area: with no room it still asks only for the size.
        std::vector<std::uint8_t> buffer(std::max<std::uint32_t>(query.firstSize, 1));
        std::uint32_t room = query.firstSize;
        std::uint32_t size = room;
        data.type = query.type;
        data.status = registry.QueryValue(handle, valueName, data.type, buffer.data(), size);
        if (query.again && data.status == platform::kErrorMoreData) {
            buffer.assign(std::max<std::uint32_t>(size, 1), 0);
            room = size;
            data.status = registry.QueryValue(handle, valueName, data.type, buffer.data(), size);
        }
        // A size beyond the room given is not believed.
        if (data.status == platform::kErrorSuccess) buffer.resize(std::min(size, room));
        else buffer.clear();
        data.bytes = std::move(buffer);
    }
    data.closeStatus = key.Close();
    return data;
}

std::string TextOfRegistryData(const std::vector<std::uint8_t>& bytes, std::uint32_t type) {
    std::size_t n = bytes.size();
    if (type == platform::kRegMultiSz) {
        if (n < 2) return {};
        for (int i = 0; i < 2 && n > 0 && bytes[n - 1] == 0; ++i) --n;
    } else if (n > 0 && bytes[n - 1] == 0) {
        --n;
    }
    if (n == 0) return {};
    return std::string(reinterpret_cast<const char*>(bytes.data()), n);
}

std::uint32_t LittleEndianOf(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t v = 0;
    for (std::size_t i = std::min<std::size_t>(bytes.size(), 4); i-- > 0;) v = (v << 8) | bytes[i];
    return v;
}

} // namespace orv
