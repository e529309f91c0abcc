#include "TestSupport.h"
#include "storage/RegistryEdit.h"

namespace orv::test {
namespace {

using platform::kHkeyLocalMachine;

constexpr const char* kKey = "Software\\Quenlark\\Orvastell";

TEST(RegistryEdit, RootNamesAreRecognisedWithoutRegardToCase) {
    FakePlatform p;
    EXPECT_EQ(GetHiveHandle(p.ctx, "HKCU"), 0x80000001u);
    EXPECT_EQ(GetHiveHandle(p.ctx, "hklm"), 0x80000002u);
    EXPECT_EQ(GetHiveHandle(p.ctx, "HkU"), 0x80000003u);
    EXPECT_EQ(GetHiveHandle(p.ctx, "HKDD"), 0x80000006u);
    EXPECT_EQ(GetHiveHandle(p.ctx, "hkcc"), 0x80000005u);
    EXPECT_EQ(GetHiveHandle(p.ctx, "HKCR"), 0x80000000u);
    EXPECT_EQ(GetHiveHandle(p.ctx, "HKEY_LOCAL_MACHINE"), 0u);
    EXPECT_EQ(GetHiveHandle(p.ctx, "C:\\bad|name.ini"), 0u);  // the search's error counts as no file
    p.files.AddFile("C:\\Cfg\\app.ini", "");
    EXPECT_EQ(GetHiveHandle(p.ctx, "C:\\Cfg\\app.ini"), 1u);
    EXPECT_EQ(GetHiveHandle(p.ctx, "C:\\Cfg"), 0u);  // a folder is no INI file
}

TEST(RegistryEdit, ReadsTextInAnyCaseOfRootAndLetter) {
    FakePlatform p;
    p.registry.SetString(kHkeyLocalMachine, kKey, "", "C:\\Apps\\Orvastell");
    p.registry.SetString(platform::kHkeyUsers, ".DEFAULT\\Test", "Name", "users");
    for (const char* root : {"HKLM", "hklm", "HkLm"}) {
        for (const char* letter : {"S", "s"}) {
            Variant value;
            EXPECT_EQ(ReadSetting(p.ctx, root, kKey, "", letter, std::string("def"), value), 0);
            EXPECT_EQ(value, Variant("C:\\Apps\\Orvastell")) << root << letter;
        }
    }
    Variant value;
    EXPECT_EQ(ReadSetting(p.ctx, "HKU", ".DEFAULT\\Test", "Name", "S", "", value), 0);
    EXPECT_EQ(value, Variant("users"));
    // HKEY_LOCAL_MACHINE in the 32-bit view, where a 32-bit installer writes; other roots as they are.
    ASSERT_EQ(p.registry.accessMasks.size(), 7u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(p.registry.accessMasks[i], 0x201u) << i;
    EXPECT_EQ(p.registry.accessMasks[6], 1u);
    ExpectKeysBalanced(p.registry);
}

TEST(RegistryEdit, FailuresReturnTheirStatusAndKeepTheDefault) {
    FakePlatform p;
    auto& r = p.registry;
    r.SetKey(kHkeyLocalMachine, kKey);
    r.DenyAccess(kHkeyLocalMachine, "Software\\Locked");
    r.SetValue(kHkeyLocalMachine, kKey, "three", platform::kRegBinary, {1, 2, 3});
    r.SetValue(kHkeyLocalMachine, kKey, "five", platform::kRegBinary, {1, 2, 3, 4, 5});
    struct Case {
        const char *root, *key, *name, *letter;
        std::int32_t status;
    };
    const Case cases[] = {
        {"HKEY_LOCAL_MACHINE", kKey, "", "S", 99},  // the long form is taken as a file name
        {"", kKey, "", "S", 99},
        {"HKLM", "Software\\Missing", "", "S", 2},
        {"HKLM", "Software\\Locked", "", "S", 5},
        {"HKLM", kKey, "nothere", "S", 2},
        {"HKLM", kKey, "nothere", "D", 2},
        {"HKLM", kKey, "three", "b", 234},
        {"HKLM", kKey, "five", "d", 234},
    };
    for (const auto& c : cases) {
        Variant value = "stale";
        EXPECT_EQ(ReadSetting(p.ctx, c.root, c.key, c.name, c.letter, 42, value), c.status)
            << c.root << " " << c.key << " " << c.name << " " << c.letter;
        EXPECT_EQ(value, Variant(42)) << c.name;
    }
    ExpectKeysBalanced(r);
}

TEST(RegistryEdit, LettersReadTheirSizeWhateverTheStoredType) {
    FakePlatform p;
    auto& r = p.registry;
    r.SetDword(kHkeyLocalMachine, kKey, "dword", 0x00434241u);
    r.SetValue(kHkeyLocalMachine, kKey, "one", platform::kRegBinary, {1});
    r.SetValue(kHkeyLocalMachine, kKey, "zero", platform::kRegBinary, {0, 0});
    r.SetValue(kHkeyLocalMachine, kKey, "high", platform::kRegBinary, {0, 1});
    r.SetValue(kHkeyLocalMachine, kKey, "nodata", platform::kRegSz, {});
    r.SetString(kHkeyLocalMachine, kKey, "long", std::string(4999, 'z'));
    r.SetDword(kHkeyLocalMachine, kKey, "full dword", 0x44434241u);
    // Stored as their writer passed them: no terminator, or more than one.
    r.SetValue(kHkeyLocalMachine, kKey, "bare", platform::kRegSz, Bytes("C:\\Apps\\Orvastell"));
    r.SetValue(kHkeyLocalMachine, kKey, "two nuls", platform::kRegSz, {'a', 'b', 0, 0});
    r.SetValue(kHkeyLocalMachine, kKey, "nul", platform::kRegSz, {0});
    struct Case {
        const char *name, *letter;
        Variant defaultValue, expected;
        std::optional<std::vector<std::uint32_t>> querySizes = {};  // the sizes asked, where they matter
    };
    const Case cases[] = {
        {"dword", "S", "", "ABC"},  // four bytes less the last one, a NUL
        {"full dword", "S", "", "ABCD"},  // no NUL to drop
        {"bare", "S", "", "C:\\Apps\\Orvastell", std::vector<std::uint32_t>{0, 17}},
        {"two nuls", "S", "", std::string("ab\0", 3)},
        {"nul", "S", "def", ""},
        {"dword", "D", 0, std::int32_t{0x00434241}},
        {"one", "B", false, true},
        {"zero", "B", true, false},
        {"high", "B", false, true},
        {"nodata", "S", "def", "def"},
        {"long", "S", "", std::string(4999, 'z'), std::vector<std::uint32_t>{0, 5000}},
        {"dword", "X", "def", "def", std::vector<std::uint32_t>{}},  // an unknown letter asks nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.letter);
        const auto before = static_cast<std::ptrdiff_t>(r.querySizes.size());
        Variant v;
        EXPECT_EQ(ReadSetting(p.ctx, "HKLM", kKey, c.name, c.letter, c.defaultValue, v), 0);
        EXPECT_EQ(v, c.expected);
        if (c.querySizes) {
            EXPECT_EQ(std::vector<std::uint32_t>(r.querySizes.begin() + before, r.querySizes.end()), *c.querySizes);
        }
    }
    ExpectKeysBalanced(r);
}

TEST(RegistryEdit, AnIniFileInPlaceOfTheRootIsReadThroughTheProfileFunctions) {
    FakePlatform p;
    const std::string ini = "C:\\Cfg\\app.ini";
    p.files.AddFile(ini, "[Main]\r\nName = Value\r\nCount=17\r\nLong=" + std::string(300, 'q') + "\r\n");
    Variant v;
    EXPECT_EQ(ReadSetting(p.ctx, ini, "Main", "Name", "s", "def", v), 0);
    EXPECT_EQ(v, Variant("Value"));
    EXPECT_EQ(ReadSetting(p.ctx, ini, "Main", "Missing", "S", 5, v), 0);
    EXPECT_EQ(v, Variant("5"));
    EXPECT_EQ(ReadSetting(p.ctx, ini, "Main", "Long", "S", "", v), 0);
    EXPECT_EQ(v, Variant(std::string(254, 'q')));
    EXPECT_EQ(ReadSetting(p.ctx, ini, "Main", "Count", "d", 0, v), 0);
    EXPECT_EQ(v, Variant(std::int32_t{17}));
    EXPECT_EQ(ReadSetting(p.ctx, ini, "Main", "Count", "X", "def", v), 0);
    EXPECT_EQ(v, Variant("def"));
    EXPECT_EQ(p.registry.accessMasks.size(), 0u);
    EXPECT_EQ(p.profile.calls.back(), "GetPrivateProfileInt Main|Count|" + ini);

    // A default with no text form fails before the profile is asked.
    const auto calls = p.profile.calls.size();
    EXPECT_EQ(ReadSetting(p.ctx, ini, "Main", "Name", "S", Variant::Null(), v), 99);
    EXPECT_TRUE(v.IsNull());
    EXPECT_EQ(p.profile.calls.size(), calls + 1);  // only the file search
}

} // namespace
} // namespace orv::test
