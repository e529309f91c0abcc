// ReadSetting for any root name, type letter, default and stored value: the status is 0, 99 or a
// Windows status the registry gave; a key that was opened is closed exactly once; the out value
// is the default whenever the status is not 0, and a successful read holds exactly the bytes it
// may take (text less its terminator where it has one, at most 2 bytes for "B", at most 4 for "D").
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "fakes/Fakes.h"
#include "storage/RegistryEdit.h"

namespace {

using orv::fuzz::Shown;

const char* const kKey = "Software\\Quenlark\\Orvastell";
const char* const kIniFile = "C:\\Agent\\settings.ini";

std::uint32_t Le(const std::vector<std::uint8_t>& data, std::size_t count) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < count && i < data.size(); ++i) v |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    return v;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
    static const char* const kRoots[] = {"HKLM", "hklm", "HkCu", "HKU", "HKDD", "HKCC", "HKCR",
                                         "HKEY_LOCAL_MACHINE", kIniFile, "", "C:\\Agent\\missing.ini",
                                         "C:\\Agent\\bad|name"};
    std::string root = kRoots[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kRoots) - 1)];
    if (flags & 1) root = in.ConsumeRandomLengthString(12);
    const std::string letter = in.ConsumeRandomLengthString(2);
    const std::uint32_t type = in.ConsumeIntegralInRange<std::uint32_t>(0, 12);
    const std::size_t valueSize = in.ConsumeIntegralInRange<std::size_t>(0, 600);
    orv::Variant fallback;
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: fallback = in.ConsumeRandomLengthString(8); break;
    case 1: fallback = in.ConsumeIntegral<std::int32_t>(); break;
    case 2: fallback = orv::Variant::Null(); break;
    case 3: fallback = orv::ByteArray{1, 2, 3}; break;
    default: break;  // the empty value
    }
    const std::vector<std::uint8_t> bytes = in.ConsumeRemainingBytes<std::uint8_t>();
    std::vector<std::uint8_t> stored;
    for (std::size_t i = 0; i < valueSize && !bytes.empty(); ++i) stored.push_back(bytes[i % bytes.size()]);

    orv::fakes::FakePlatform p;
    auto& registry = p.registry;
    const bool denied = (flags & 6) == 2;
    const bool valueExists = (flags & 6) != 4;
    const bool keyExists = (flags & 6) != 6;
    for (const std::uint32_t hive : {orv::platform::kHkeyLocalMachine, orv::platform::kHkeyCurrentUser,
                                     orv::platform::kHkeyUsers, orv::platform::kHkeyDynData,
                                     orv::platform::kHkeyCurrentConfig, orv::platform::kHkeyClassesRoot}) {
        if (!keyExists) continue;
        registry.SetKey(hive, kKey);
        if (valueExists) registry.SetValue(hive, kKey, "", type, stored);
        if (denied) registry.DenyAccess(hive, kKey);
    }
    p.files.AddFile(kIniFile, std::string(bytes.begin(), bytes.end()));

    orv::Variant value = "stale";
    const std::int32_t status = orv::ReadSetting(p.ctx, root, kKey, "", letter, fallback, value);
    const std::string where = "root " + Shown(root) + ", letter " + Shown(letter) + ", status " +
                              std::to_string(status) + ", " + std::to_string(stored.size()) + " bytes";

    FUZZ_CHECK(status == 0 || status == 99 || status == 2 || status == 5 || status == 234, "status: " + where);
    FUZZ_CHECK(registry.opens == registry.closes && registry.openKeys.empty() && registry.badCloses == 0,
               "key not closed exactly once: " + where);
    if (status != 0) FUZZ_CHECK(value == fallback, "out value is not the default: " + where);
    if (status == 99) FUZZ_CHECK(registry.opens == 0, "99 after a registry call: " + where);

    const std::string upperRoot = Upper(root);
    const bool isRoot = upperRoot == "HKLM" || upperRoot == "HKCU" || upperRoot == "HKU" || upperRoot == "HKDD" ||
                        upperRoot == "HKCC" || upperRoot == "HKCR";
    const std::string upper = Upper(letter);
    if (isRoot && status == 0 && registry.opens == 1) {
        const std::size_t n = stored.size();
        if (upper == "S") {
            // One terminating NUL is dropped where it is there; a value stored without one is whole.
            const std::size_t length = n >= 1 && stored[n - 1] == 0 ? n - 1 : n;
            const orv::Variant expected =
                n >= 1 ? orv::Variant(std::string(stored.begin(), stored.begin() + length)) : fallback;
            FUZZ_CHECK(value == expected, "text read wrongly: " + where);
        } else if (upper == "B") {
            FUZZ_CHECK(n <= 2 && value == orv::Variant(Le(stored, 2) != 0), "Boolean read wrongly: " + where);
        } else if (upper == "D") {
            FUZZ_CHECK(n <= 4 && value == orv::Variant(static_cast<std::int32_t>(Le(stored, 4))),
                       "integer read wrongly: " + where);
        } else {
            FUZZ_CHECK(value == fallback, "another letter changed the value: " + where);
        }
    }
    if (isRoot && status == 234) FUZZ_CHECK(upper == "B" || upper == "D", "234 for a text read: " + where);
    if (!isRoot && registry.opens != 0) FUZZ_CHECK(false, "registry opened for a file or no root: " + where);
    if (!isRoot && status == 0 && upper == "S")
        FUZZ_CHECK(value.IsText() && value.Get<std::string>().size() <= 254, "INI text too long: " + where);
    return 0;
}
