#include "TestSupport.h"

namespace orv::test {
namespace {

const std::string kQuestionTail =
    "\r\n\r\nDo you wish to download and install the free Microsoft Access 2003 Runtime onto your computer?"
    "\r\n\r\nPlease note, depending on the speed of your Internet connection, this may take a few minutes.";
const std::string kNoAccessQuestion =
    "It appears you do not have Microsoft Access 2003 installed on your computer." + kQuestionTail;
const std::string kTooOldQuestion =
    "Unfortunately, the version of Microsoft Access installed on your computer is too old." + kQuestionTail;

// Runs the agent; true when it ended itself (the front-end was launched).
bool RunAgent(FakePlatform& p) {
    try {
        RunMain(p.ctx);
    } catch (const fakes::ProcessEnded&) {
        return true;
    }
    return false;
}

// Every run first clears away the stale temporary files that killed runs left beside the files it
// keeps (the front-end, config.ini, the cabinet), whether or not it writes any of them; a young one
// may still be written by another run and stays, as does everything else.
TEST(Agent, EveryRunRemovesTheStaleLeftoversOfKilledRunsBesideItsFiles) {
    FakePlatform p;
    Install(p);
    p.files.AddFile(kConfig, ConfigText("1"));
    const std::string left[] = {TemporaryOf(kFrontEnd, 90), TemporaryOf(kConfig, 91), TemporaryOf(kCab, 92)};
    const std::string kept[] = {TemporaryOf(kFrontEnd, 93), kFolder + "\\ORV.mde.bak"};
    for (const std::string& path : left) p.files.AddFile(path, "left");
    for (const std::string& path : kept) p.files.AddFile(path, "kept");
    for (const std::string& path : left) p.files.SetAge(path, 24 * 3600);
    p.files.SetAge(kept[1], 24 * 3600);
    EXPECT_TRUE(RunAgent(p));
    for (const std::string& path : left) EXPECT_FALSE(p.files.HasFile(path)) << path;
    for (const std::string& path : kept) EXPECT_TRUE(p.files.HasFile(path)) << path;
    EXPECT_EQ(p.files.bytesWritten, 0u);
}

TEST(Agent, CurrentAccessLaunchesAndOldOrMissingAccessAsksTheMatchingQuestion) {
    struct Case {
        const char* curVer;       // nullptr: no CurVer key at all
        const std::string* question;  // nullptr: launched without any question
    };
    const Case cases[] = {
        {"Access.Database.11", nullptr},          {"Access.Database.12", nullptr},
        {"Access.Database.10", &kTooOldQuestion}, {"Access.Database.9", &kTooOldQuestion},
        {"Access.Database.8", &kTooOldQuestion},  {nullptr, &kNoAccessQuestion},
        {"", &kNoAccessQuestion},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.curVer ? c.curVer : "(no key)");
        FakePlatform p;
        Install(p, c.curVer);
        p.messageBox.answers = {platform::kIdNo};
        EXPECT_EQ(RunAgent(p), c.question == nullptr);
        // What a download needs is made ready while the question is read, and only then.
        EXPECT_EQ(Journaled(p, "transfer prepared"), c.question ? 1 : 0);
        if (!c.question) {
            EXPECT_TRUE(p.messageBox.shown.empty());
            ASSERT_EQ(p.shell.executed.size(), 1u);
            EXPECT_EQ(p.shell.executed[0].file, kFrontEnd);
            EXPECT_EQ(p.journal.back(), "end");
            continue;
        }
        ASSERT_EQ(p.messageBox.shown.size(), 2u);
        EXPECT_EQ(p.messageBox.shown[0].text, *c.question);
        EXPECT_EQ(p.messageBox.shown[0].title, "Download MS Access 2003 Runtime?");
        EXPECT_EQ(p.messageBox.shown[0].style, 36);
        EXPECT_LT(JournalAt(p, "transfer prepared"), JournalAt(p, "box Download MS Access 2003 Runtime?"));
        // No: exactly one further box, and nothing is downloaded or opened.
        EXPECT_EQ(p.messageBox.shown[1].title, "Can not continue");
        EXPECT_EQ(p.messageBox.shown[1].text,
                  "Sorry, Orvastell can not operate without Microsoft Access 2003 (or the Microsoft Access 2003 "
                  "Runtime), and will now close.");
        EXPECT_EQ(p.messageBox.shown[1].style, 64);
        EXPECT_TRUE(p.shell.executed.empty());
        EXPECT_EQ(p.windows.downloadWindowsCreated, 0);
    }
}

TEST(Agent, YesStartsTheDownloadAndEndsMainWithoutFurtherBoxes) {
    FakePlatform p;
    Install(p, nullptr);
    p.messageBox.answers = {platform::kIdYes};
    EXPECT_FALSE(RunAgent(p));
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_EQ(p.messageBox.shown[0].text, kNoAccessQuestion);
    // Neither the update nor the launch follows a Yes.
    EXPECT_TRUE(p.shell.executed.empty());
    EXPECT_EQ(p.windows.downloadWindowsCreated, 1);
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

// Only a run whose token was raised by elevation is the administrator's: it provisions the control
// and ends, starting nothing that a user could have written (no update, no download, no launch).
// Every other run (a standard user's, or a token that was never split, an administrator's
// included) goes on as usual.
TEST(Agent, ARunRaisedByElevationProvisionsTheControlAndEndsAndEveryOtherRunGoesOn) {
    using platform::TokenElevation;
    const std::string tail = " installed. Start Orvastell again without administrator rights to use it.";
    const std::string installed = "The Internet Transfer control is" + tail;
    const std::string notInstalled = "The Internet Transfer control is not" + tail;
    enum class Control { InPlace, InUpdates, Nowhere };
    struct Case {
        const char* what;
        platform::Elevation elevation;
        Control control;
        const std::string* box;  // the elevated run's one box (after any copy report); nullptr: a usual run
        bool registers = true;   // regsvr32 can be started
    };
    const Case cases[] = {
        {"an administrator who said yes to the prompt", {TokenElevation::Full, true}, Control::InUpdates, &installed},
        {"the same, with the control in place", {TokenElevation::Full, true}, Control::InPlace, &installed},
        {"the same, with no control to copy", {TokenElevation::Full, true}, Control::Nowhere, &notInstalled},
        {"the same, with no regsvr32 to register it", {TokenElevation::Full, true}, Control::InUpdates, &notInstalled,
         false},
        {"a standard user", {TokenElevation::Limited, false}, Control::InUpdates, nullptr},
        {"a token never split, an administrator's", {TokenElevation::Default, true}, Control::InUpdates, nullptr},
        {"a token never split, a user's", {TokenElevation::Default, false}, Control::InUpdates, nullptr},
    };
    const std::string systemControl = "C:\\WINDOWS\\SysWOW64\\MSINET.OCX";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform p;
        Install(p);
        OfferUpdate(p, "1", "2");
        if (c.control != Control::InPlace) p.files.RemoveFile(systemControl);
        if (c.control == Control::InUpdates) {
            p.files.AddFile(kFolder + "\\updates\\MSINET.OCX", "control to copy");
            p.files.AddFile(kFolder + "\\updates\\MSINET.oca", "companion");
        }
        if (!c.registers) p.shell.startProcessError = AgentError(53, "regsvr32 could not be started.");
        p.process.elevation = c.elevation;
        const bool ended = RunAgent(p);
        // Copied and registered where it was missing, whoever runs.
        EXPECT_EQ(p.shell.started.size(), c.control == Control::InUpdates && c.registers ? 1u : 0u);
        if (c.control == Control::InUpdates) {
            EXPECT_EQ(p.files.Content(systemControl), "control to copy");
        }
        if (!c.box) {
            EXPECT_TRUE(ended);
            EXPECT_EQ(p.process.exitCode, 0u);
            EXPECT_TRUE(p.messageBox.shown.empty());
            EXPECT_EQ(p.files.Content(kFrontEnd), "new front-end");
            ASSERT_EQ(p.shell.executed.size(), 1u);
            EXPECT_EQ(p.shell.executed[0].file, kFrontEnd);
            continue;
        }
        // After the report of what failed, if anything did.
        ExpectLastBox(p, c.box == &notInstalled ? 2 : 1, *c.box, "Orvastell");
        if (!p.messageBox.shown.empty()) {
            EXPECT_EQ(p.messageBox.shown.back().style, 64);
        }
        // Not installed: the run ends as one that an error ended.
        EXPECT_EQ(ended, c.box == &notInstalled);
        if (ended) {
            EXPECT_EQ(p.process.exitCode, 1u);
        }
        EXPECT_EQ(p.files.Content(kFrontEnd), "old front-end");
        EXPECT_EQ(p.files.Content(kConfig), ConfigText("1"));
        EXPECT_TRUE(p.shell.executed.empty());
        EXPECT_EQ(p.registry.queries, 0);  // not even Access was looked for
        EXPECT_EQ(Journaled(p, "transfer prepared"), 0);
        EXPECT_EQ(p.windows.downloadWindowsCreated + p.windows.updateWindowsCreated, 0);
    }
}

TEST(Agent, AVersionThatIsNoNumberEndsTheRunBeforeAnyQuestion) {
    FakePlatform p;
    Install(p, "Access.Database");
    EXPECT_FALSE(RunMain(p.ctx));
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_EQ(p.messageBox.shown[0].text, "Run-time error '13':\r\n\r\nType mismatch");
    EXPECT_TRUE(p.shell.executed.empty());
}

TEST(Agent, RegistryErrorsReachTheUnhandledErrorBox) {
    FakePlatform p;
    Install(p, nullptr);
    p.registry.SetValue(platform::kHkeyClassesRoot, kCurVer, "", platform::kRegNone, {1});
    EXPECT_FALSE(RunMain(p.ctx));
    ExpectNoTemporaryFiles(p);
    ExpectLastBox(p, 1, "Run-time error '1001':\r\n\r\nUnsupported value type", "Orvastell");
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
        Install(p, nullptr, c.folderValue);
        // What a 64-bit program would read instead: not the product's 32-bit installation.
        p.registry.SetStringIn64BitView(platform::kHkeyLocalMachine, kInstallKey, "", "C:\\Elsewhere");
        p.files.AddFile("C:\\Elsewhere\\ORV.mde", "another front-end");
        LoadSettings(p.ctx);
        EXPECT_THROW(LaunchFrontEnd(p.ctx), fakes::ProcessEnded);
        ASSERT_EQ(p.shell.executed.size(), 1u);
        EXPECT_EQ(p.shell.executed[0].file, c.opened);
        EXPECT_EQ(p.shell.executed[0].verb, "open");
        EXPECT_TRUE(p.messageBox.shown.empty());
        EXPECT_EQ(p.journal.back(), "end");
        EXPECT_EQ(p.process.exitCode, 0u);
    }
}

TEST(Agent, AFrontEndTheShellWillNotOpenIsReportedAndEndsTheRunAsAnError) {
    const std::pair<std::intptr_t, std::string> refusals[] = {
        {31, "No application is associated with the specified file for this operation."},
        {29, "The shell gave error 29."},  // no message of the system's for it
    };
    for (const auto& [result, reason] : refusals) {
        FakePlatform p;
        Install(p);
        p.shell.executeResult = result;
        LoadSettings(p.ctx);
        EXPECT_THROW(LaunchFrontEnd(p.ctx), fakes::ProcessEnded);
        ExpectNoTemporaryFiles(p);
        ExpectLastBox(p, 1, kProblem + "The file " + kFrontEnd + " could not be opened.\r\n\r\n" + reason);
        EXPECT_EQ(p.process.exitCode, 1u);
    }
}

TEST(Agent, LaunchReportsAMissingProgramFileAndReturns) {
    const std::optional<std::string> folderValues[] = {std::nullopt, "", "   ", kFolder};
    for (const auto& value : folderValues) {
        SCOPED_TRACE(value.value_or("(no key)"));
        FakePlatform p;
        if (value) p.registry.SetString(platform::kHkeyLocalMachine, kInstallKey, "", *value);
        p.files.AddFolder(kFrontEnd);  // a folder named like the file is no program file
        LoadSettings(p.ctx);
        LaunchFrontEnd(p.ctx);
        ExpectNoTemporaryFiles(p);
        ExpectLastBox(p, 1,
                      kProblem + "The program file for Orvastell can not be found. Please check that it has not been "
                                 "recently deleted or has not been installed correctly.\r\n\r\nIf this problem "
                                 "persists, please reinstall Orvastell.");
        EXPECT_TRUE(p.shell.executed.empty());
        EXPECT_FALSE(p.process.ended);
        if (!value) {
            EXPECT_TRUE(GetInstallFolder(p.ctx).IsEmpty());
        } else if (*value == "   ") {
            EXPECT_EQ(GetInstallFolder(p.ctx), Variant(""));
        }
    }
}

// The other settings are checked where they are used (texts, key names, the time-out).
TEST(Agent, TheConfigPathIsAPlainConcatenation) {
    FakePlatform root;
    root.process.applicationFolder = "D:\\";
    LoadSettings(root.ctx);
    EXPECT_EQ(root.ctx.settings.ConfigFilePath, "D:\\\\config\\config.ini");
}

} // namespace
} // namespace orv::test
