#include <gtest/gtest.h>

#include "agent/Agent.h"
#include "fakes/Fakes.h"

namespace orv {
namespace {

using fakes::FakePlatform;

// A machine on which the transfer control is already in place, so start-up shows nothing of its own.
struct Machine : FakePlatform {
    Machine() { files.AddFile(shell.systemDirectory + "\\MSINET.OCX", "control"); }
};

constexpr const char* kCurVer = "Access.Database\\CurVer";
constexpr const char* kInstallKey = "Software\\Quenlark\\Orvastell";

const std::string kQuestionTail =
    "\r\n\r\nDo you wish to download and install the free Microsoft Access 2003 Runtime onto your computer?"
    "\r\n\r\nPlease note, depending on the speed of your Internet connection, this may take a few minutes.";
const std::string kNoAccessQuestion =
    "It appears you do not have Microsoft Access 2003 installed on your computer." + kQuestionTail;
const std::string kTooOldQuestion =
    "Unfortunately, the version of Microsoft Access installed on your computer is too old." + kQuestionTail;
const std::string kMissingProgram =
    "A problem has occured:\r\nThe program file for Orvastell can not be found. Please check that it has not been "
    "recently deleted or has not been installed correctly.\r\n\r\nIf this problem persists, please reinstall "
    "Orvastell.";

// A machine with the product installed in C:\Apps\Orvastell.
void Install(FakePlatform& p, const std::string& folderValue = "C:\\Apps\\Orvastell") {
    p.registry.SetString(platform::kHkeyLocalMachine, kInstallKey, "", folderValue);
    p.files.AddFile("C:\\Apps\\Orvastell\\ORV.mde", "front-end");
}

// Runs the agent; true when it ended itself (the front-end was launched).
bool RunAgent(FakePlatform& p) {
    try {
        RunMain(p.ctx);
    } catch (const fakes::ProcessEnded&) {
        return true;
    }
    return false;
}

TEST(Agent, CurrentAccessLaunchesWithoutAnyQuestion) {
    for (const char* curVer : {"Access.Database.11", "Access.Database.12"}) {
        Machine p;
        Install(p);
        p.registry.SetString(platform::kHkeyClassesRoot, kCurVer, "", curVer);
        EXPECT_TRUE(RunAgent(p)) << curVer;
        EXPECT_TRUE(p.messageBox.shown.empty()) << curVer;
        ASSERT_EQ(p.shell.executed.size(), 1u);
        EXPECT_EQ(p.shell.executed[0].file, "C:\\Apps\\Orvastell\\ORV.mde");
        EXPECT_EQ(p.journal.back(), "end");
    }
}

TEST(Agent, OldOrMissingAccessAsksTheMatchingQuestion) {
    struct Case {
        const char* curVer;  // nullptr: no CurVer key at all
        const std::string& question;
    };
    const Case cases[] = {
        {"Access.Database.10", kTooOldQuestion}, {"Access.Database.9", kTooOldQuestion},
        {"Access.Database.8", kTooOldQuestion},  {nullptr, kNoAccessQuestion},
        {"", kNoAccessQuestion},
    };
    for (const auto& c : cases) {
        Machine p;
        Install(p);
        if (c.curVer) p.registry.SetString(platform::kHkeyClassesRoot, kCurVer, "", c.curVer);
        p.messageBox.answers = {platform::kIdNo};
        EXPECT_FALSE(RunAgent(p));
        const std::string label = c.curVer ? c.curVer : "(no key)";
        ASSERT_EQ(p.messageBox.shown.size(), 2u) << label;
        EXPECT_EQ(p.messageBox.shown[0].text, c.question) << label;
        EXPECT_EQ(p.messageBox.shown[0].title, "Download MS Access 2003 Runtime?");
        EXPECT_EQ(p.messageBox.shown[0].style, 36);
        // No: exactly one further box, and nothing is downloaded or opened.
        EXPECT_EQ(p.messageBox.shown[1].title, "Can not continue");
        EXPECT_EQ(p.messageBox.shown[1].text,
                  "Sorry, Orvastell can not operate without Microsoft Access 2003 (or the Microsoft Access 2003 "
                  "Runtime), and will now close.");
        EXPECT_EQ(p.messageBox.shown[1].style, 64);
        EXPECT_TRUE(p.shell.executed.empty()) << label;
        EXPECT_EQ(p.windows.downloadWindowsCreated, 0);
    }
}

TEST(Agent, YesStartsTheDownloadAndEndsMainWithoutFurtherBoxes) {
    Machine p;
    Install(p);
    p.messageBox.answers = {platform::kIdYes};
    EXPECT_FALSE(RunAgent(p));
    ASSERT_GE(p.messageBox.shown.size(), 1u);
    EXPECT_EQ(p.messageBox.shown[0].text, kNoAccessQuestion);
    for (std::size_t i = 1; i < p.messageBox.shown.size(); ++i)
        EXPECT_NE(p.messageBox.shown[i].title, "Can not continue");
    // Neither the update nor the launch follows a Yes.
    for (const auto& e : p.shell.executed) EXPECT_EQ(e.file.find("ORV.mde"), std::string::npos);
    EXPECT_FALSE(p.process.ended);
}

TEST(Agent, AFailedProvisioningIsReportedFirstAndTheCheckGoesOn) {
    FakePlatform p;  // no control in the system folder, and none to copy from
    p.messageBox.answers = {platform::kIdNo};
    EXPECT_FALSE(RunAgent(p));
    ASSERT_GE(p.messageBox.shown.size(), 3u);
    EXPECT_EQ(p.messageBox.shown[0].title, "Whoops!");
    EXPECT_NE(p.messageBox.shown[0].text.find("The file was not copied successfully."), std::string::npos);
    EXPECT_EQ(p.messageBox.shown[p.messageBox.shown.size() - 2].text, kNoAccessQuestion);
    EXPECT_EQ(p.messageBox.shown.back().title, "Can not continue");
}

TEST(Agent, AVersionThatIsNoNumberEndsTheRunBeforeAnyQuestion) {
    Machine p;
    Install(p);
    p.registry.SetString(platform::kHkeyClassesRoot, kCurVer, "", "Access.Database");
    EXPECT_FALSE(RunMain(p.ctx));
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    const auto& box = p.messageBox.shown[0];
    EXPECT_NE(box.text.find("13"), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("Type mismatch"), std::string::npos) << box.text;
    EXPECT_NE(box.style & 0xF, platform::kMbYesNo);
    EXPECT_TRUE(p.shell.executed.empty());
}

TEST(Agent, RegistryErrorsReachTheUnhandledErrorBox) {
    Machine p;
    p.registry.SetValue(platform::kHkeyClassesRoot, kCurVer, "", platform::kRegNone, {1});
    EXPECT_FALSE(RunMain(p.ctx));
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_NE(p.messageBox.shown[0].text.find("1001"), std::string::npos);
    EXPECT_NE(p.messageBox.shown[0].text.find("Unsupported value type"), std::string::npos);
    EXPECT_EQ(p.registry.opens, p.registry.closes);
}

TEST(Agent, LaunchJoinsTheTrimmedInstallFolderAndTheFileName) {
    struct Case {
        std::string folderValue, opened;
    };
    const Case cases[] = {
        {" C:\\Apps\\Orvastell ", "C:\\Apps\\Orvastell\\ORV.mde"},
        {"C:\\Apps\\Orvastell\\", "C:\\Apps\\Orvastell\\\\ORV.mde"},  // no separator is removed
    };
    for (const auto& c : cases) {
        FakePlatform p;
        Install(p, c.folderValue);
        LoadSettings(p.ctx);
        EXPECT_THROW(LaunchFrontEnd(p.ctx), fakes::ProcessEnded);
        ASSERT_EQ(p.shell.executed.size(), 1u);
        EXPECT_EQ(p.shell.executed[0].file, c.opened);
        EXPECT_EQ(p.shell.executed[0].verb, "open");
        EXPECT_TRUE(p.messageBox.shown.empty());
        EXPECT_EQ(p.journal.back(), "end");
    }
}

TEST(Agent, LaunchReportsAMissingProgramFileAndReturns) {
    FakePlatform missingKey;
    FakePlatform emptyValue;
    emptyValue.registry.SetString(platform::kHkeyLocalMachine, kInstallKey, "", "");
    FakePlatform blanksOnly;
    blanksOnly.registry.SetString(platform::kHkeyLocalMachine, kInstallKey, "", "   ");
    FakePlatform folderNamedLikeTheFile;
    folderNamedLikeTheFile.registry.SetString(platform::kHkeyLocalMachine, kInstallKey, "", "C:\\Apps\\Orvastell");
    folderNamedLikeTheFile.files.AddFolder("C:\\Apps\\Orvastell\\ORV.mde");
    FakePlatform* all[] = {&missingKey, &emptyValue, &blanksOnly, &folderNamedLikeTheFile};
    for (FakePlatform* p : all) {
        LoadSettings(p->ctx);
        LaunchFrontEnd(p->ctx);
        ASSERT_EQ(p->messageBox.shown.size(), 1u);
        EXPECT_EQ(p->messageBox.shown[0].title, "Whoops!");
        EXPECT_EQ(p->messageBox.shown[0].text, kMissingProgram);
        EXPECT_TRUE(p->shell.executed.empty());
        EXPECT_FALSE(p->process.ended);
    }
    EXPECT_TRUE(GetInstallFolder(missingKey.ctx).IsEmpty());
    EXPECT_EQ(GetInstallFolder(blanksOnly.ctx), Variant(""));
}

TEST(Agent, SettingsAreFilledAndTheConfigPathIsAPlainConcatenation) {
    FakePlatform p;
    LoadSettings(p.ctx);
    EXPECT_EQ(p.ctx.settings.ApplicationName, "Orvastell");
    EXPECT_EQ(p.ctx.settings.CompanyName, "Quenlark");
    EXPECT_EQ(p.ctx.settings.FrontEndFileName, "ORV.mde");
    EXPECT_EQ(p.ctx.settings.RequestTimeout, 60);
    EXPECT_EQ(p.ctx.settings.ConfigFilePath, "C:\\Apps\\Orvastell\\config\\config.ini");

    FakePlatform root;
    root.process.applicationFolder = "D:\\";
    LoadSettings(root.ctx);
    EXPECT_EQ(root.ctx.settings.ConfigFilePath, "D:\\\\config\\config.ini");
}

} // namespace
} // namespace orv
