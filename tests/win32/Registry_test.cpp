// Typed registry reads against the real registry: a scratch key under HKEY_CURRENT_USER holds a
// value of every type, read through the Windows backend by the core's readers.
#include <gtest/gtest.h>

#include "Win32Harness.h"
#include "probe/Registry.h"
#include "storage/RegistryEdit.h"

namespace orv {
namespace {

using testing::ScratchKey;
using testing::Win32Platform;

std::vector<std::uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

ByteArray Bytes(std::initializer_list<int> values) {
    ByteArray bytes;
    for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

TEST(Win32Registry, GetRegistryValueConvertsEveryValueType) {
    Win32Platform p;
    ScratchKey key;
    key.SetText("", REG_SZ, "Access.Database.11");
    key.SetText("expand", REG_EXPAND_SZ, "%SystemRoot%\\x");
    key.Set("binary", REG_BINARY, {1, 2, 0, 255});
    key.SetDword("dword", 0xFFFFFFFFu);
    key.Set("multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0});
    key.SetText("long", REG_SZ, std::string(4999, 'x'));  // 5000 bytes with its NUL
    // As installers and scripts may write them: the length of the text alone, no terminator.
    key.Set("bare", REG_SZ, Text("Access.Database.11"));
    key.Set("expand bare", REG_EXPAND_SZ, Text("%TEMP%"));
    key.Set("multi bare", REG_MULTI_SZ, {'a', 0, 'b', 0});

    const auto read = [&](const std::string& name) {
        return GetRegistryValue(p.ctx, platform::kHkeyCurrentUser, key.Path(), name);
    };
    EXPECT_EQ(read(""), Variant("Access.Database.11"));
    EXPECT_EQ(read("expand"), Variant("%SystemRoot%\\x"));  // not expanded
    EXPECT_EQ(read("binary"), Variant(Bytes({1, 2, 0, 255})));
    EXPECT_EQ(read("dword"), Variant(std::int32_t{-1}));
    EXPECT_EQ(read("multi"), Variant(std::string("a\0b", 3)));
    EXPECT_EQ(read("long"), Variant(std::string(4999, 'x')));
    EXPECT_EQ(read("bare"), Variant("Access.Database.11"));
    EXPECT_EQ(read("expand bare"), Variant("%TEMP%"));
    EXPECT_EQ(read("multi bare"), Variant(std::string("a\0b", 3)));
}

TEST(Win32Registry, UnsupportedOrMissingValuesRaise1001AndMissingKeysGiveTheDefault) {
    Win32Platform p;
    ScratchKey key;
    key.Set("qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
    key.Set("none", REG_NONE, {7});
    for (const char* name : {"qword", "none", "missing"}) {
        try {
            GetRegistryValue(p.ctx, platform::kHkeyCurrentUser, key.Path(), name);
            ADD_FAILURE() << name << " did not raise";
        } catch (const AgentError& e) {
            EXPECT_EQ(e.Number(), 1001) << name;
            EXPECT_EQ(e.Description(), "Unsupported value type");
        }
    }
    EXPECT_TRUE(GetRegistryValue(p.ctx, platform::kHkeyCurrentUser, key.Path() + "\\Nowhere", "").IsEmpty());
    EXPECT_EQ(GetRegistryValue(p.ctx, platform::kHkeyCurrentUser, key.Path() + "\\Nowhere", "", Variant("d")),
              Variant("d"));
}

TEST(Win32Registry, QueryReportsSizesAndLeavesTheTypeOfAFailedQuery) {
    win32::Win32Registry registry;
    ScratchKey key;
    key.SetText("text", REG_SZ, "abc");
    platform::RegKey handle = 0;
    ASSERT_EQ(registry.OpenKey(platform::kHkeyCurrentUser, key.Path(), platform::kKeyQueryValue, handle), 0);
    ASSERT_NE(handle, 0u);

    std::uint32_t type = 99, size = 0;
    std::uint8_t room[1];
    EXPECT_EQ(registry.QueryValue(handle, "text", type, room, size), platform::kErrorMoreData);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, platform::kRegSz);

    type = 99;
    size = 0;
    EXPECT_EQ(registry.QueryValue(handle, "text", type, nullptr, size), 0);  // size only
    EXPECT_EQ(size, 4u);

    type = 42;
    size = 1;
    EXPECT_EQ(registry.QueryValue(handle, "nothing here", type, room, size), platform::kErrorFileNotFound);
    EXPECT_EQ(type, 42u);
    EXPECT_EQ(registry.CloseKey(handle), 0);

    EXPECT_EQ(registry.OpenKey(platform::kHkeyCurrentUser, key.Path() + "\\Nowhere", platform::kKeyRead, handle),
              platform::kErrorFileNotFound);
}

TEST(Win32Registry, ReadSettingByRootName) {
    Win32Platform p;
    ScratchKey key;
    key.SetText("", REG_SZ, "C:\\Program Files\\Orvastell");
    key.Set("flag", REG_BINARY, {1, 0});
    key.Set("wide flag", REG_BINARY, {0, 0, 1});
    key.SetDword("count", 0x01020304u);
    key.SetDword("dword", 0x00636261u);  // "abc" and a NUL when read as text
    key.Set("empty", REG_SZ, {});
    key.Set("bare", REG_SZ, Text("C:\\Apps\\Orvastell"));  // without its terminator

    Variant value;
    EXPECT_EQ(ReadSetting(p.ctx, "hkcu", key.Path(), "", "s", Variant("default"), value), 0);
    EXPECT_EQ(value, Variant("C:\\Program Files\\Orvastell"));
    EXPECT_EQ(ReadSetting(p.ctx, "HKCU", key.Path(), "flag", "B", Variant(), value), 0);
    EXPECT_EQ(value, Variant(true));
    EXPECT_EQ(ReadSetting(p.ctx, "HKCU", key.Path(), "count", "D", Variant(), value), 0);
    EXPECT_EQ(value, Variant(std::int32_t{0x01020304}));
    EXPECT_EQ(ReadSetting(p.ctx, "HKCU", key.Path(), "dword", "S", Variant(), value), 0);
    EXPECT_EQ(value, Variant("abc"));  // type not examined: 4 bytes less the last
    EXPECT_EQ(ReadSetting(p.ctx, "HKCU", key.Path(), "bare", "S", Variant("default"), value), 0);
    EXPECT_EQ(value, Variant("C:\\Apps\\Orvastell"));
    EXPECT_EQ(ReadSetting(p.ctx, "HKCU", key.Path(), "empty", "S", Variant("default"), value), 0);
    EXPECT_EQ(value, Variant("default"));

    // Failures keep the default and give the system's status.
    EXPECT_EQ(ReadSetting(p.ctx, "HKCU", key.Path(), "wide flag", "B", Variant("default"), value),
              platform::kErrorMoreData);
    EXPECT_EQ(value, Variant("default"));
    EXPECT_EQ(ReadSetting(p.ctx, "HKCU", key.Path(), "absent", "S", Variant("default"), value),
              platform::kErrorFileNotFound);
    EXPECT_EQ(value, Variant("default"));
    EXPECT_EQ(ReadSetting(p.ctx, "HKCU", key.Path() + "\\Nowhere", "", "S", Variant("default"), value),
              platform::kErrorFileNotFound);
    EXPECT_EQ(ReadSetting(p.ctx, "HKEY_CURRENT_USER", key.Path(), "", "S", Variant("default"), value), 99);
    EXPECT_EQ(value, Variant("default"));
}

} // namespace
} // namespace orv
