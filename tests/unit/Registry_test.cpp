#include "TestSupport.h"
#include "probe/Registry.h"

namespace orv::test {
namespace {

using platform::kHkeyClassesRoot;

constexpr const char* kKey = "Software\\Test";

TEST(Registry, ConvertsEachSupportedTypeAndClosesTheKey) {
    FakePlatform p;
    auto& r = p.registry;
    r.SetString(kHkeyClassesRoot, kKey, "sz", "hello");
    r.SetString(kHkeyClassesRoot, kKey, "expand", "%SystemRoot%\\x", platform::kRegExpandSz);
    r.SetValue(kHkeyClassesRoot, kKey, "bin", platform::kRegBinary, {1, 0, 255});
    r.SetDword(kHkeyClassesRoot, kKey, "dword", 0xFFFFFFFFu);
    r.SetValue(kHkeyClassesRoot, kKey, "multi", platform::kRegMultiSz, {'a', 0, 'b', 0, 0});
    // Values shorter than their terminators are read safely.
    r.SetValue(kHkeyClassesRoot, kKey, "sz0", platform::kRegSz, {});
    r.SetValue(kHkeyClassesRoot, kKey, "multi1", platform::kRegMultiSz, {0});
    r.SetValue(kHkeyClassesRoot, kKey, "bin0", platform::kRegBinary, {});
    r.SetValue(kHkeyClassesRoot, kKey, "dword2", platform::kRegDword, {0x34, 0x12});
    // Texts stored as their writer passed them, without their terminators: read whole; only
    // terminators that are there are dropped, one of a text, up to two of a multi-text.
    r.SetValue(kHkeyClassesRoot, kKey, "sz bare", platform::kRegSz, Bytes("Access.Database.11"));
    r.SetValue(kHkeyClassesRoot, kKey, "sz1", platform::kRegSz, {'x'});
    r.SetValue(kHkeyClassesRoot, kKey, "sz two nuls", platform::kRegSz, {'a', 'b', 0, 0});
    r.SetValue(kHkeyClassesRoot, kKey, "expand bare", platform::kRegExpandSz, Bytes("%TEMP%"));
    r.SetValue(kHkeyClassesRoot, kKey, "multi bare", platform::kRegMultiSz, {'a', 0, 'b'});
    r.SetValue(kHkeyClassesRoot, kKey, "multi one nul", platform::kRegMultiSz, {'a', 0, 'b', 0});
    r.SetValue(kHkeyClassesRoot, kKey, "multi1 bare", platform::kRegMultiSz, {'x'});
    const std::pair<const char*, Variant> cases[] = {
        {"sz", "hello"}, {"expand", "%SystemRoot%\\x"}, {"bin", ByteArray{1, 0, 255}}, {"dword", std::int32_t{-1}},
        {"multi", std::string("a\0b", 3)}, {"sz0", ""}, {"multi1", ""}, {"bin0", ByteArray{}},
        {"dword2", std::int32_t{0x1234}},
        {"sz bare", "Access.Database.11"}, {"sz1", "x"}, {"sz two nuls", std::string("ab\0", 3)},
        {"expand bare", "%TEMP%"}, {"multi bare", std::string("a\0b", 3)}, {"multi one nul", std::string("a\0b", 3)},
        {"multi1 bare", ""},  // shorter than its two terminators
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(GetRegistryValue(p.ctx, kHkeyClassesRoot, kKey, name), expected) << name;
    EXPECT_EQ(r.opens, 16);
    for (auto mask : r.accessMasks) EXPECT_EQ(mask, 0x20019u);
    for (auto size : r.querySizes) EXPECT_EQ(size, 1024u);
    ExpectKeysBalanced(r);
}

TEST(Registry, ReadsALongValueWithASecondQueryOfTheReportedSize) {
    FakePlatform p;
    const std::string text(4999, 'x');  // 5,000 bytes with the terminating zero
    p.registry.SetString(kHkeyClassesRoot, kKey, "", text);
    EXPECT_EQ(GetRegistryValue(p.ctx, kHkeyClassesRoot, kKey, ""), Variant(text));
    EXPECT_EQ(p.registry.querySizes, (std::vector<std::uint32_t>{1024, 5000}));
    ExpectKeysBalanced(p.registry);
}

TEST(Registry, AValueThatChangesBetweenTheTwoQueriesIsNotReadAsZeros) {
    FakePlatform p;
    p.registry.SetString(kHkeyClassesRoot, kKey, "", std::string(4999, 'x'));
    p.registry.onQuery = [&](int n) {
        if (n == 2) p.registry.SetString(kHkeyClassesRoot, kKey, "", std::string(5999, 'y'));
    };
    try {
        GetRegistryValue(p.ctx, kHkeyClassesRoot, kKey, "");
        FAIL() << "a value that grew under the read came back";
    } catch (const AgentError& e) {
        EXPECT_EQ(e.Number(), 1001);
    }
    ExpectKeysBalanced(p.registry);
}

TEST(Registry, UnsupportedOrUnreadableValuesRaise1001AfterClosingOnce) {
    FakePlatform p;
    auto& r = p.registry;
    r.SetValue(kHkeyClassesRoot, kKey, "none", platform::kRegNone, {1});
    r.SetValue(kHkeyClassesRoot, kKey, "qword", 11, {1, 2, 3, 4, 5, 6, 7, 8});
    for (const char* name : {"none", "qword", "missing"}) {
        const int closesBefore = r.closes;
        try {
            GetRegistryValue(p.ctx, kHkeyClassesRoot, kKey, name, Variant("fallback"));
            ADD_FAILURE() << name << " did not raise";
        } catch (const AgentError& e) {
            EXPECT_EQ(e.Number(), 1001) << name;
            EXPECT_EQ(e.Description(), "Unsupported value type");
            // Closed before the error left the reader.
            EXPECT_EQ(r.closes, closesBefore + 1) << name;
        }
    }
    ExpectKeysBalanced(r);
}

TEST(Registry, AKeyThatCannotBeOpenedGivesTheDefaultWithNothingToClose) {
    FakePlatform p;
    p.registry.DenyAccess(kHkeyClassesRoot, "Denied");
    EXPECT_TRUE(GetRegistryValue(p.ctx, kHkeyClassesRoot, "Missing", "").IsEmpty());
    EXPECT_EQ(GetRegistryValue(p.ctx, kHkeyClassesRoot, "Denied", "", Variant(7)), Variant(7));
    EXPECT_EQ(p.registry.closes, 0);
}

TEST(Registry, AccessVersionIsTakenFromTheEndOfCurVer) {
    struct Case {
        const char* curVer;
        Variant expected;
    };
    const Case cases[] = {
        {"Access.Database.11", "11"}, {"Access.Database.12", "12"}, {"Access.Database.10", "10"},
        {"Access.Database.9", ".9"},  {"Access.Database", "Access.Database"},
    };
    for (const auto& c : cases) {
        FakePlatform p;
        p.registry.SetString(kHkeyClassesRoot, kCurVer, "", c.curVer);
        EXPECT_TRUE(IsOfficeAppInstalled(p.ctx, OfficeApplication::Access)) << c.curVer;
        EXPECT_EQ(GetAccessVersion(p.ctx), c.expected) << c.curVer;
        ExpectKeysBalanced(p.registry);
    }
    // A CurVer that its writer stored without the terminating NUL keeps its last digit.
    FakePlatform bare;
    bare.registry.SetValue(kHkeyClassesRoot, kCurVer, "", platform::kRegSz, Bytes("Access.Database.11"));
    EXPECT_EQ(GetAccessVersion(bare.ctx), Variant("11"));
    // ".9" is no number where the decimal separator is a comma; the last digit is taken alone.
    FakePlatform comma(fakes::FakeLocale::Kind::CommaDecimal);
    comma.registry.SetString(kHkeyClassesRoot, kCurVer, "", "Access.Database.9");
    EXPECT_EQ(GetAccessVersion(comma.ctx), Variant("9"));
}

TEST(Registry, NoAccessGivesTheEmptyValueAndABrokenCurVerRaises) {
    FakePlatform missing;
    EXPECT_FALSE(IsOfficeAppInstalled(missing.ctx, OfficeApplication::Access));
    EXPECT_TRUE(GetAccessVersion(missing.ctx).IsEmpty());

    FakePlatform empty;
    empty.registry.SetString(kHkeyClassesRoot, kCurVer, "", "");
    EXPECT_FALSE(IsOfficeAppInstalled(empty.ctx, OfficeApplication::Access));
    EXPECT_TRUE(GetAccessVersion(empty.ctx).IsEmpty());

    FakePlatform word;
    word.registry.SetString(kHkeyClassesRoot, "Word.Document\\CurVer", "", "Word.Document.11");
    EXPECT_TRUE(IsOfficeAppInstalled(word.ctx, OfficeApplication::Word));
    EXPECT_FALSE(IsOfficeAppInstalled(word.ctx, OfficeApplication::Access));
    EXPECT_FALSE(IsOfficeAppInstalled(word.ctx, static_cast<OfficeApplication>(5)));

    FakePlatform broken;  // the key is there, its default value is not
    broken.registry.SetKey(kHkeyClassesRoot, kCurVer);
    EXPECT_THROW(GetAccessVersion(broken.ctx), AgentError);
    ExpectKeysBalanced(broken.registry);
}

TEST(Registry, OpenWithShellOpensAndReportsEveryFailure) {
    FakePlatform p;
    EXPECT_TRUE(OpenWithShell(p.ctx, "C:\\Missing\\ORV.mde"));
    ASSERT_EQ(p.shell.executed.size(), 1u);
    EXPECT_EQ(p.shell.executed[0].verb, "open");
    EXPECT_EQ(p.shell.executed[0].file, "C:\\Missing\\ORV.mde");
    EXPECT_EQ(p.shell.executed[0].parameters, "");
    EXPECT_EQ(p.shell.executed[0].show, 1);
    EXPECT_TRUE(p.messageBox.shown.empty());

    EXPECT_FALSE(OpenWithShell(p.ctx, Variant::Null()));
    EXPECT_EQ(p.shell.executed.size(), 1u);
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_EQ(p.messageBox.shown[0].text, "A problem has occured:\r\nInvalid use of Null");

    // What the shell answers: above 32 the file was handed over; 32 or less is one box with the
    // file and the system's message, or the number where the system has no message.
    const std::pair<std::intptr_t, std::string> results[] = {
        {33, ""},
        {31, "No application is associated with the specified file for this operation."},
        {5, "Access denied."},
        {32, "The shell gave error 32."},
        {0, "The shell gave error 0."},
    };
    for (const auto& [result, reason] : results) {
        FakePlatform q;
        q.shell.executeResult = result;
        EXPECT_EQ(OpenWithShell(q.ctx, "C:\\Apps\\ORV.mde"), reason.empty()) << result;
        if (reason.empty()) {
            EXPECT_TRUE(q.messageBox.shown.empty());
        } else {
            ExpectNoTemporaryFiles(q);
            ExpectLastBox(q, 1, kProblem + "The file C:\\Apps\\ORV.mde could not be opened.\r\n\r\n" + reason);
        }
    }
}

TEST(Registry, RegisterComponentStartsTheSystemsRegsvr32HiddenAndQuotesPathsWithBlanks) {
    FakePlatform p;
    EXPECT_TRUE(RegisterComponent(p.ctx, "C:\\WINDOWS\\SysWOW64\\MSINET.OCX"));
    EXPECT_TRUE(RegisterComponent(p.ctx, "C:\\Program Files\\Orvastell\\MSINET.OCX"));
    ASSERT_EQ(p.shell.started.size(), 2u);
    // By its full path in the 32-bit system folder, never by a name that a search could find
    // beside the agent; the command line itself is unchanged.
    EXPECT_EQ(p.shell.started[0].program, "C:\\WINDOWS\\SysWOW64\\regsvr32.exe");
    EXPECT_EQ(p.shell.started[0].commandLine, "regsvr32 /s C:\\WINDOWS\\SysWOW64\\MSINET.OCX");
    EXPECT_EQ(p.shell.started[0].show, 0);
    EXPECT_EQ(p.shell.started[1].commandLine, "regsvr32 /s \"C:\\Program Files\\Orvastell\\MSINET.OCX\"");

    p.shell.startProcessError = AgentError(53, "File not found");
    EXPECT_FALSE(RegisterComponent(p.ctx, "C:\\WINDOWS\\SysWOW64\\MSINET.OCX"));
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_EQ(p.messageBox.shown[0].text, "A problem has occured:\r\nFile not found");
    EXPECT_EQ(p.messageBox.shown[0].title, "Whoops!");

    // With no system folder known there is no regsvr32 to start: one box, nothing started.
    FakePlatform lost;
    lost.shell.systemDirectoryFails = true;
    EXPECT_FALSE(RegisterComponent(lost.ctx, "\\MSINET.OCX"));
    EXPECT_TRUE(lost.shell.started.empty());
    ASSERT_EQ(lost.messageBox.shown.size(), 1u);
    EXPECT_EQ(lost.messageBox.shown[0].text,
              "A problem has occured:\r\nregsvr32 could not be found: the system folder is unknown.");
}

TEST(Registry, SystemFolderIsThe32BitOneAndTheTextBeforeTheFirstNul) {
    const std::string fits = "C:\\" + std::string(256, 'd');  // 259 characters
    struct Case {
        std::string wow64, system;
        bool fails;
        std::string expected;
    };
    const Case cases[] = {
        {"C:\\WINDOWS\\SysWOW64", "C:\\WINDOWS\\system32", false, "C:\\WINDOWS\\SysWOW64"},  // 64-bit Windows
        {"", "C:\\WINDOWS\\system32", false, "C:\\WINDOWS\\system32"},                     // 32-bit Windows
        {"", fits, false, fits},
        {"", fits + "d", false, ""},  // 260: too long for the buffer
        {fits + "d", "C:\\WINDOWS\\system32", false, ""},  // answered, but too long
        {"C:\\WINDOWS\\SysWOW64", "C:\\WINDOWS\\system32", true, ""},
    };
    for (const auto& c : cases) {
        FakePlatform p;
        p.shell.wow64Directory = c.wow64;
        p.shell.systemDirectory = c.system;
        p.shell.systemDirectoryFails = c.fails;
        EXPECT_EQ(GetSystemFolder(p.ctx), c.expected) << c.wow64 << " | " << c.system;
    }
}

} // namespace
} // namespace orv::test
