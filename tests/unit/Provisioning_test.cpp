#include <gtest/gtest.h>

#include <algorithm>

#include "download/Internet.h"
#include "fakes/Fakes.h"

namespace orv {
namespace {

using fakes::FakePlatform;

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

} // namespace
} // namespace orv
