#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "TestSupport.h"
#include "download/Internet.h"
#include "fakes/Fakes.h"
#include "util/Files.h"

namespace orv {
namespace {

using fakes::FakePlatform;
using fakes::HexOf;

// The 32-bit system folder of a 64-bit Windows: the control is a 32-bit component.
const std::string kSystemControl = "C:\\WINDOWS\\SysWOW64\\MSINET.OCX";
const std::string kSystemCompanion = "C:\\WINDOWS\\SysWOW64\\MSINET.oca";
const std::string kUpdates = "C:\\Apps\\Orvastell\\updates";
const std::string kRegister = "C:\\WINDOWS\\SysWOW64\\regsvr32.exe <- regsvr32 /s " + kSystemControl;

std::vector<std::string> Effects(const FakePlatform& p) {
    std::vector<std::string> out;
    for (const auto& e : p.journal)
        if (e.rfind("replace ", 0) == 0 || e.rfind("process ", 0) == 0 || e.rfind("box ", 0) == 0) out.push_back(e);
    return out;
}

bool Returned(const Variant& v, bool expected) { return v.Holds<bool>() && v.Get<bool>() == expected; }

TEST(Provisioning, AControlAlreadyInPlaceIsLeftAlone) {
    FakePlatform p;
    p.files.AddFile(kSystemControl, "old control");
    p.files.AddFile(kUpdates + "\\MSINET.OCX", "new control");
    p.files.AddFile(kUpdates + "\\MSINET.oca", "companion");
    // A second start after a successful provisioning finds the control just the same.
    for (int run = 0; run < 2; ++run) {
        EXPECT_TRUE(Returned(EnsureTransferControl(p.ctx), true));
        EXPECT_TRUE(Effects(p).empty());
        EXPECT_EQ(p.files.Content(kSystemControl), "old control");
        EXPECT_FALSE(p.files.HasFile(kSystemCompanion));
    }
}

TEST(Provisioning, AMissingControlIsCopiedThenItsCompanionThenRegisteredOnce) {
    FakePlatform p;
    p.files.AddFile(kUpdates + "\\MSINET.OCX", "control");
    p.files.AddFile(kUpdates + "\\MSINET.oca", "companion");
    EXPECT_TRUE(Returned(EnsureTransferControl(p.ctx), true));
    EXPECT_EQ(Effects(p),
              (std::vector<std::string>{"replace " + kSystemControl, "replace " + kSystemCompanion, "process " + kRegister}));
    EXPECT_EQ(p.files.Content(kSystemControl), "control");
    EXPECT_EQ(p.files.Content(kSystemCompanion), "companion");
    ASSERT_EQ(p.shell.started.size(), 1u);
    EXPECT_EQ(p.shell.started[0].show, platform::kSwHide);

    // The next start finds it and does nothing more.
    EXPECT_TRUE(Returned(EnsureTransferControl(p.ctx), true));
    EXPECT_EQ(p.shell.started.size(), 1u);
    EXPECT_TRUE(p.messageBox.shown.empty());
}

TEST(Provisioning, AFailedControlCopyIsReportedOnceAndNothingElseHappens) {
    FakePlatform p;
    p.files.AddFile(kUpdates + "\\MSINET.oca", "companion");  // the control itself is missing
    EXPECT_TRUE(Returned(EnsureTransferControl(p.ctx), false));
    EXPECT_EQ(Effects(p), (std::vector<std::string>{"box Whoops!"}));
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_EQ(p.messageBox.shown[0].text.rfind("A problem has occured:\r\nThe file was not copied successfully.", 0),
              0u);
    EXPECT_FALSE(p.files.HasFile(kSystemCompanion));
    EXPECT_TRUE(p.shell.started.empty());
}

TEST(Provisioning, AMissingCompanionIsReportedAndTheControlIsStillRegistered) {
    FakePlatform p;
    p.files.AddFile(kUpdates + "\\MSINET.OCX", "control");
    EXPECT_TRUE(Returned(EnsureTransferControl(p.ctx), true));
    EXPECT_EQ(Effects(p),
              (std::vector<std::string>{"replace " + kSystemControl, "box Whoops!", "process " + kRegister}));
    EXPECT_EQ(p.messageBox.shown.size(), 1u);
}

TEST(Provisioning, On32BitWindowsTheOneSystemFolderIsUsed) {
    FakePlatform p;
    p.shell.wow64Directory.clear();
    p.files.AddFile(kUpdates + "\\MSINET.OCX", "control");
    p.files.AddFile(kUpdates + "\\MSINET.oca", "companion");
    EXPECT_TRUE(Returned(EnsureTransferControl(p.ctx), true));
    const std::string system = "C:\\WINDOWS\\system32";
    EXPECT_EQ(Effects(p), (std::vector<std::string>{
                              "replace " + system + "\\MSINET.OCX", "replace " + system + "\\MSINET.oca",
                              "process " + system + "\\regsvr32.exe <- regsvr32 /s " + system + "\\MSINET.OCX"}));
}

TEST(Provisioning, AnUnreadableSystemFolderGivesPathsAtTheDriveRoot) {
    FakePlatform p;
    p.shell.systemDirectoryFails = true;
    p.files.AddFile("\\MSINET.OCX", "control at the root");
    EXPECT_TRUE(Returned(EnsureTransferControl(p.ctx), true));
    EXPECT_TRUE(Effects(p).empty());
}

// ---------------------------------------------------------------- the control the build names

const std::string kControl = "the transfer control the build names";
const std::string kCompanion = "its companion";

std::string DigestOf(FakePlatform& p, const std::string& content) {
    return HexOf(p.hash.Sha256Of(std::vector<std::uint8_t>(content.begin(), content.end())));
}

TEST(Provisioning, TheControlSettingIsTwoChecksumsAndACommaAndNothingElse) {
    const std::string a(64, 'a'), b = "0123456789ABCDEFabcdef0123456789ABCDEFabcdef0123456789ABCDEFabcd";
    const struct {
        std::string setting;
        bool valid;
    } cases[] = {
        {a + "," + b, true},
        {b + "," + a, true},
        {"", false},
        {a, false},
        {a + ",", false},
        {"," + b, false},
        {a + ", " + b, false},
        {a + " ," + b, false},
        {a + ";" + b, false},
        {a + "," + b + ",", false},
        {a + "," + b + "," + a, false},
        {a.substr(1) + "," + b, false},
        {a + "," + b + "0", false},
        {a.substr(0, 63) + "g," + b, false},
        {a + "," + b.substr(0, 63) + "x", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        const std::optional<ControlChecksums> parsed = ParseControlChecksums(c.setting);
        ASSERT_EQ(parsed.has_value(), c.valid);
        if (!c.valid) continue;
        const std::string control = c.setting.substr(0, 64), companion = c.setting.substr(65);
        EXPECT_EQ(HexOf(parsed->control), ToLowerAscii(control));
        EXPECT_EQ(HexOf(parsed->companion), ToLowerAscii(companion));
    }
}

TEST(Provisioning, WithChecksumsOnlyTheNamedControlAndCompanionAreInstalled) {
    struct Case {
        const char* what;
        std::function<void(FakePlatform&)> arrange;  // after the right files are in place
        const char* notNamed;                        // the file the box names; nullptr: installed
        bool written;  // whether anything was written (into the system folder) before the refusal
    };
    const Case cases[] = {
        {"both as named", {}, nullptr, true},
        // Checked where they are: a file that is not the named one costs no write at all.
        {"the control changed",
         [](FakePlatform& p) { p.files.AddFile(kUpdates + "\\MSINET.OCX", kControl + "!"); }, "MSINET.OCX", false},
        {"the companion changed",
         [](FakePlatform& p) { p.files.AddFile(kUpdates + "\\MSINET.oca", "another companion"); }, "MSINET.oca",
         false},
        {"a control far too large to be the named one",
         [](FakePlatform& p) {
             p.files.AddFile(kUpdates + "\\MSINET.OCX",
                             std::vector<std::uint8_t>(PendingCopy::kMaxDigestLength + 1, 0x4d));
         },
         "MSINET.OCX", false},
        // The bytes that the copy writes are checked again: a control swapped in after its check
        // is not the one installed.
        {"the control swapped between its check and its copy",
         [](FakePlatform& p) {
             p.files.onOpenRead = [&p, opens = 0](const std::string& path) mutable {
                 if (path == kUpdates + "\\MSINET.OCX" && ++opens == 2)
                     p.files.AddFile(path, "a control of someone else's");
             };
         },
         "MSINET.OCX", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform p;
        p.files.AddFile(kUpdates + "\\MSINET.OCX", kControl);
        p.files.AddFile(kUpdates + "\\MSINET.oca", kCompanion);
        // Either case names the same file.
        const std::string setting = DigestOf(p, kControl) + "," + ToUpperAscii(DigestOf(p, kCompanion));
        AgentContext ctx(p.platform, {}, ControlSource{setting});
        if (c.arrange) c.arrange(p);
        const Variant result = EnsureTransferControl(ctx);
        EXPECT_TRUE(test::TemporaryFiles(p.files).empty());
        if (!c.notNamed) {
            EXPECT_TRUE(Returned(result, true));
            EXPECT_EQ(Effects(p), (std::vector<std::string>{"replace " + kSystemControl, "replace " + kSystemCompanion,
                                                             "process " + kRegister}));
            EXPECT_EQ(p.files.Content(kSystemControl), kControl);
            EXPECT_EQ(p.files.Content(kSystemCompanion), kCompanion);
            continue;
        }
        // One box, nothing in the system folder, nothing registered: as after a failed copy.
        EXPECT_EQ(p.files.bytesWritten > 0, c.written);
        EXPECT_TRUE(Returned(result, false));
        EXPECT_EQ(Effects(p), (std::vector<std::string>{"box Whoops!"}));
        ASSERT_EQ(p.messageBox.shown.size(), 1u);
        EXPECT_EQ(p.messageBox.shown[0].text, "A problem has occured:\r\nThe file " + kUpdates + "\\" + c.notNamed +
                                                  " is not the one this program was built to install, so nothing was "
                                                  "installed.");
        EXPECT_FALSE(p.files.HasFile(kSystemControl));
        EXPECT_FALSE(p.files.HasFile(kSystemCompanion));
        EXPECT_TRUE(p.shell.started.empty());
    }
}

TEST(Provisioning, WithChecksumsAMissingCompanionIsReportedAndTheNamedControlStillRegistered) {
    FakePlatform p;
    p.files.AddFile(kUpdates + "\\MSINET.OCX", kControl);
    AgentContext ctx(p.platform, {}, ControlSource{DigestOf(p, kControl) + "," + DigestOf(p, kCompanion)});
    EXPECT_TRUE(Returned(EnsureTransferControl(ctx), true));
    EXPECT_EQ(Effects(p),
              (std::vector<std::string>{"box Whoops!", "replace " + kSystemControl, "process " + kRegister}));
    EXPECT_EQ(p.messageBox.shown[0].text.rfind("A problem has occured:\r\nThe file was not copied successfully.", 0),
              0u);
}

TEST(Provisioning, ASettingThatNamesNoChecksumsInstallsNothing) {
    FakePlatform p;
    p.files.AddFile(kUpdates + "\\MSINET.OCX", kControl);
    p.files.AddFile(kUpdates + "\\MSINET.oca", kCompanion);
    AgentContext ctx(p.platform, {}, ControlSource{DigestOf(p, kControl)});  // the companion's is missing
    EXPECT_TRUE(Returned(EnsureTransferControl(ctx), false));
    EXPECT_EQ(Effects(p), (std::vector<std::string>{"box Whoops!"}));
    EXPECT_FALSE(p.files.HasFile(kSystemControl));
}

} // namespace
} // namespace orv
