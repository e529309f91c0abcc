#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "agent/Agent.h"
#include "fakes/Fakes.h"
#include "update/Update.h"
#include "update/frmAutoUpdate.h"
#include "util/Files.h"

namespace orv {
namespace {

using fakes::FakeLocale;
using fakes::FakePlatform;

const char* const kConfig = "C:\\Apps\\Orvastell\\config\\config.ini";
const char* const kDescription = "\\\\server\\share\\update.ini";
const char* const kNewFile = "\\\\server\\share\\ORV.mde";
const char* const kCopied = "C:\\Apps\\Orvastell\\ORV.mde";

std::string ConfigText(const std::string& installed, const std::string& location = kDescription) {
    return "[UpdateFrontend]\r\nUpdateLocation=" + location + "\r\nFileRevision=" + installed + "\r\n";
}

std::string DescriptionText(const std::string& offered, const std::string& fileLocation = kNewFile) {
    return "[UpdateFrontend]\r\nFileRevision=" + offered + "\r\nFileLocation=" + fileLocation + "\r\n";
}

// A machine with the agent in C:\Apps\Orvastell, its configuration naming the update share, and
// a new front-end file on that share.
void Arrange(FakePlatform& p, const std::string& installed, const std::string& offered) {
    LoadSettings(p.ctx);
    p.files.AddFile(kConfig, ConfigText(installed));
    p.files.AddFile(kDescription, DescriptionText(offered));
    p.files.AddFile(kNewFile, "new front-end");
}

std::size_t JournalIndex(const FakePlatform& p, const std::string& entry) {
    const auto it = std::find(p.journal.begin(), p.journal.end(), entry);
    EXPECT_NE(it, p.journal.end()) << entry;
    return static_cast<std::size_t>(it - p.journal.begin());
}

// Nothing shown, nothing copied, nothing written.
void ExpectNoUpdate(FakePlatform& p, const std::string& configBefore) {
    EXPECT_FALSE(p.files.HasFile(kCopied));
    EXPECT_EQ(p.files.Content(kConfig), configBefore);
    EXPECT_EQ(p.windows.updateWindowsCreated, 0);
    EXPECT_TRUE(p.clock.sleeps.empty());
}

// ---------------------------------------------------------------- deciding

TEST(Update, RevisionsAreComparedAsNumbers) {
    struct Case {
        const char* installed;
        const char* offered;
        bool updates;
    };
    for (const Case& c : {Case{"9", "10", true}, Case{"2", "2.0", false}, Case{"10", "9", false},
                          Case{" 1.5 ", "1.25", false}, Case{"1.5", "1.75", true}}) {
        SCOPED_TRACE(std::string(c.installed) + " -> " + c.offered);
        FakePlatform p;
        Arrange(p, c.installed, c.offered);
        const std::string before = p.files.Content(kConfig);
        EXPECT_EQ(RunAutomaticUpdate(p.ctx), c.updates);
        EXPECT_TRUE(p.messageBox.shown.empty());
        if (c.updates) {
            EXPECT_EQ(p.files.Content(kCopied), "new front-end");
        } else {
            ExpectNoUpdate(p, before);
        }
    }
}

TEST(Update, NothingHappensWhenAPieceOfTheConfigurationIsMissing) {
    struct Case {
        const char* what;
        std::string config, description;
        bool newFile;
    };
    const std::vector<Case> cases = {
        {"no UpdateLocation", "[UpdateFrontend]\r\nFileRevision=1\r\n", DescriptionText("2"), true},
        {"no installed revision", "[UpdateFrontend]\r\nUpdateLocation=" + std::string(kDescription) + "\r\n",
         DescriptionText("2"), true},
        {"key with blanks", "[UpdateFrontend]\r\nUpdateLocation=" + std::string(kDescription) +
                                "\r\nFileRevision = 1\r\n", DescriptionText("2"), true},
        {"location with a trailing blank", ConfigText("1", std::string(kDescription) + " "), DescriptionText("2"),
         true},
        {"no offered revision", ConfigText("1"), "[UpdateFrontend]\r\nFileLocation=" + std::string(kNewFile), true},
        {"no FileLocation", ConfigText("1"), "[UpdateFrontend]\r\nFileRevision=2\r\n", true},
        {"empty offered revision", ConfigText("1"), DescriptionText(""), true},
        {"new file missing", ConfigText("1"), DescriptionText("2"), false},
        {"no description", ConfigText("1"), "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform p;
        LoadSettings(p.ctx);
        p.files.AddFile(kConfig, c.config);
        if (!c.description.empty()) p.files.AddFile(kDescription, c.description);
        if (c.newFile) p.files.AddFile(kNewFile, "new front-end");
        EXPECT_FALSE(RunAutomaticUpdate(p.ctx));
        EXPECT_TRUE(p.messageBox.shown.empty());
        ExpectNoUpdate(p, c.config);
    }
    FakePlatform p;  // no configuration file at all
    LoadSettings(p.ctx);
    p.files.AddFile(kDescription, DescriptionText("2"));
    p.files.AddFile(kNewFile, "new front-end");
    EXPECT_FALSE(RunAutomaticUpdate(p.ctx));
    EXPECT_FALSE(p.files.HasFile(kConfig));
    EXPECT_EQ(p.windows.updateWindowsCreated, 0);
}

TEST(Update, KeyNamesMatchWithoutRegardToCase) {
    FakePlatform p;
    LoadSettings(p.ctx);
    p.files.AddFile(kConfig, "[updatefrontend]\r\nupdatelocation=" + std::string(kDescription) +
                                 "\r\nfilerevision=3\r\n");
    p.files.AddFile(kDescription, DescriptionText("4"));
    p.files.AddFile(kNewFile, "new front-end");
    EXPECT_TRUE(RunAutomaticUpdate(p.ctx));
    EXPECT_EQ(p.files.Content(kConfig), "[updatefrontend]\r\nupdatelocation=" + std::string(kDescription) +
                                             "\r\nFileRevision=4\r\n\r\nFileLastUpdate=12/9/2025 12:00:00 PM");
}

// ---------------------------------------------------------------- copying and recording

TEST(Update, CopiesIntoTheAppFolderAndRecordsTimeThenShortestRevision) {
    FakePlatform p;
    Arrange(p, "6", "007");
    EXPECT_TRUE(RunAutomaticUpdate(p.ctx));
    EXPECT_EQ(p.files.Content(kCopied), "new front-end");
    EXPECT_EQ(p.files.Content(kNewFile), "new front-end");
    // The revision is replaced in its line in its shortest form; the time is added at the end of
    // the section, after the blank line that the section's closing CR LF leaves.
    EXPECT_EQ(p.files.Content(kConfig),
              "[UpdateFrontend]\r\nUpdateLocation=\\\\server\\share\\update.ini\r\nFileRevision=7\r\n\r\n"
              "FileLastUpdate=12/9/2025 12:00:00 PM");
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_EQ(p.files.AllFiles().size(), 4u);  // no temporary file left

    // The next run finds nothing newer.
    AgentContext next(p.platform);
    LoadSettings(next);
    p.files.AddFile(kNewFile, "changed again");
    EXPECT_FALSE(RunAutomaticUpdate(next));
    EXPECT_EQ(p.files.Content(kCopied), "new front-end");
}

TEST(Update, DestinationNameComesFromFileLocation) {
    FakePlatform p;
    Arrange(p, "1", "2");
    p.files.AddFile(kDescription, DescriptionText("2", "D:\\drop\\ORV_v2.mde"));
    p.files.AddFile("D:\\drop\\ORV_v2.mde", "v2");
    EXPECT_TRUE(RunAutomaticUpdate(p.ctx));
    EXPECT_EQ(p.files.Content("C:\\Apps\\Orvastell\\ORV_v2.mde"), "v2");
    EXPECT_FALSE(p.files.HasFile(kCopied));
}

TEST(Update, WindowIsPaintedBeforeThePauseAndUnloadedAfterTheCopy) {
    FakePlatform p;
    Arrange(p, "1", "2");
    bool paintedDuringPause = false;
    p.clock.onSleep = [&](std::uint32_t) {
        paintedDuringPause = p.windows.updateWindow && p.windows.updateWindow->visible &&
                             p.windows.updateWindow->painted;
    };
    EXPECT_TRUE(RunAutomaticUpdate(p.ctx));
    EXPECT_TRUE(paintedDuringPause);
    EXPECT_EQ(p.clock.sleeps, std::vector<std::uint32_t>{2000});
    const std::size_t shown = JournalIndex(p, "update window shown");
    const std::size_t painted = JournalIndex(p, "update window painted");
    const std::size_t pause = JournalIndex(p, "sleep 2000");
    const std::size_t copy = JournalIndex(p, "read " + std::string(kNewFile));
    const std::size_t copied = JournalIndex(p, "replace " + std::string(kCopied));
    const std::size_t recorded = JournalIndex(p, "replace " + std::string(kConfig));
    const std::size_t unloaded = JournalIndex(p, "update window destroyed");
    EXPECT_LT(shown, painted);
    EXPECT_LT(painted, pause);
    EXPECT_LT(pause, copy);
    EXPECT_LT(copy, copied);
    EXPECT_LT(copied, recorded);
    EXPECT_LT(recorded, unloaded);
    EXPECT_FALSE(p.windows.OpenWindows());
    EXPECT_FALSE(p.ctx.UpdateWindow().Loaded());
}

TEST(Update, FailedCopyIsShownWithTheWindowUpAndTriedAgainNextRun) {
    FakePlatform p;
    Arrange(p, "1", "2");
    p.files.AddFile(kCopied, "old front-end");
    p.files.SetReadOnly(kCopied);  // Access still holds it, say
    const std::string before = p.files.Content(kConfig);
    bool windowUpDuringBox = false;
    p.messageBox.onShow = [&](const fakes::FakeMessageBox::Box&) {
        windowUpDuringBox = p.windows.updateWindow && p.windows.updateWindow->visible;
    };
    EXPECT_FALSE(RunAutomaticUpdate(p.ctx));
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_NE(p.messageBox.shown[0].text.find("The file was not copied successfully."), std::string::npos);
    EXPECT_TRUE(windowUpDuringBox);
    EXPECT_FALSE(p.windows.OpenWindows());
    EXPECT_EQ(p.files.Content(kConfig), before);
    EXPECT_EQ(p.files.Content(kCopied), "old front-end");

    // Next start, the file is free again: the update is tried again and goes through.
    p.files.SetReadOnly(kCopied, false);
    AgentContext next(p.platform);
    LoadSettings(next);
    EXPECT_TRUE(RunAutomaticUpdate(next));
    EXPECT_EQ(p.files.Content(kCopied), "new front-end");
    EXPECT_NE(p.files.Content(kConfig).find("FileRevision=2\r\n"), std::string::npos);
    EXPECT_EQ(p.messageBox.shown.size(), 1u);
}

// ---------------------------------------------------------------- revisions that are no numbers

TEST(Update, RevisionThatIsNoNumberSkipsTheUpdateWithOneBox) {
    struct Case {
        const char* installed;
        const char* offered;
        const char* file;
        const char* bad;
    };
    for (const Case& c : {Case{"6", "7b", kDescription, "7b"}, Case{"six", "7", kConfig, "six"},
                          Case{"six", "seven", kDescription, "seven"}}) {
        SCOPED_TRACE(c.bad);
        FakePlatform p;
        Arrange(p, c.installed, c.offered);
        const std::string before = p.files.Content(kConfig);
        bool result = true;
        EXPECT_NO_THROW(result = RunAutomaticUpdate(p.ctx));
        EXPECT_FALSE(result);
        ASSERT_EQ(p.messageBox.shown.size(), 1u);
        const auto& box = p.messageBox.shown[0];
        EXPECT_EQ(box.title, "Whoops!");
        EXPECT_NE(box.text.find(c.file), std::string::npos) << box.text;
        EXPECT_NE(box.text.find(std::string("\"") + c.bad + "\""), std::string::npos) << box.text;
        ExpectNoUpdate(p, before);
    }
}

// ---------------------------------------------------------------- configuration not writable

TEST(Update, ConfigurationThatCannotBeRewrittenIsReportedAndTheCopyStays) {
    FakePlatform p;
    Arrange(p, "1", "2");
    p.files.SetReadOnly(kConfig);
    const std::string before = p.files.Content(kConfig);
    bool result = true;
    EXPECT_NO_THROW(result = RunAutomaticUpdate(p.ctx));
    EXPECT_FALSE(result);
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_NE(p.messageBox.shown[0].text.find(kConfig), std::string::npos);
    EXPECT_NE(p.messageBox.shown[0].text.find("Permission denied"), std::string::npos);
    EXPECT_EQ(p.files.Content(kCopied), "new front-end");
    EXPECT_EQ(p.files.Content(kConfig), before);
    EXPECT_FALSE(p.windows.OpenWindows());
    EXPECT_EQ(p.files.AllFiles().size(), 4u);  // no temporary file left beside config.ini

    // Once the file is writable again, the next run copies again and records the revision.
    p.files.SetReadOnly(kConfig, false);
    AgentContext next(p.platform);
    LoadSettings(next);
    EXPECT_TRUE(RunAutomaticUpdate(next));
    EXPECT_NE(p.files.Content(kConfig).find("FileRevision=2\r\n"), std::string::npos);
}

TEST(Update, SecondRewriteFailingLeavesTheOldRevisionForARetry) {
    FakePlatform p;
    Arrange(p, "1", "2");
    // Room for the copy and the first rewrite of config.ini only; the disk is full for the second.
    // What stays behind shows that the time was recorded first, the revision not at all.
    const std::string afterFirstWrite = ConfigText("1") + "\r\nFileLastUpdate=12/9/2025 12:00:00 PM";
    p.files.writeBudget = std::string("new front-end").size() + afterFirstWrite.size();
    EXPECT_FALSE(RunAutomaticUpdate(p.ctx));
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_NE(p.messageBox.shown[0].text.find("Disk full"), std::string::npos);
    EXPECT_EQ(p.files.Content(kConfig), afterFirstWrite);
    EXPECT_FALSE(p.files.HasFile(TemporaryPathFor(kConfig)));
    EXPECT_FALSE(p.windows.OpenWindows());
}

// ---------------------------------------------------------------- regional settings

TEST(Update, CommaDecimalLocaleGovernsReadingAndWriting) {
    {
        FakePlatform p(FakeLocale::Kind::CommaDecimal);
        Arrange(p, "1,5", "1,75");
        EXPECT_TRUE(RunAutomaticUpdate(p.ctx));
        EXPECT_EQ(p.files.Content(kConfig),
                  "[UpdateFrontend]\r\nUpdateLocation=\\\\server\\share\\update.ini\r\nFileRevision=1,75\r\n\r\n"
                  "FileLastUpdate=09.12.2025 12:00:00");
    }
    {
        FakePlatform p(FakeLocale::Kind::CommaDecimal);
        Arrange(p, "2,5", "2,50");  // the same number
        EXPECT_FALSE(RunAutomaticUpdate(p.ctx));
        EXPECT_FALSE(p.files.HasFile(kCopied));
    }
    {
        // Here "." groups thousands: 1.5 reads as 15, which is more than 2.
        FakePlatform p(FakeLocale::Kind::CommaDecimal);
        Arrange(p, "2", "1.5");
        EXPECT_TRUE(RunAutomaticUpdate(p.ctx));
        EXPECT_NE(p.files.Content(kConfig).find("FileRevision=15\r\n"), std::string::npos);
    }
}

// ---------------------------------------------------------------- the whole run

TEST(UpdateMain, OkRunUpdatesThenOpensTheFrontEnd) {
    FakePlatform p;
    p.registry.SetString(platform::kHkeyClassesRoot, "Access.Database\\CurVer", "", "Access.Database.11");
    p.registry.SetString(platform::kHkeyLocalMachine, "Software\\Quenlark\\Orvastell", "", "C:\\Apps\\Orvastell");
    p.files.AddFile("C:\\WINDOWS\\system32\\MSINET.OCX", "control");
    p.files.AddFile(kConfig, ConfigText("1"));
    p.files.AddFile(kDescription, DescriptionText("2"));
    p.files.AddFile(kNewFile, "new front-end");
    p.files.AddFile(kCopied, "old front-end");
    EXPECT_THROW(RunMain(p.ctx), fakes::ProcessEnded);
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_EQ(p.files.Content(kCopied), "new front-end");
    ASSERT_EQ(p.shell.executed.size(), 1u);
    EXPECT_EQ(p.shell.executed[0].verb, "open");
    EXPECT_EQ(p.shell.executed[0].file, kCopied);
    EXPECT_LT(JournalIndex(p, "update window destroyed"), JournalIndex(p, "end"));
    EXPECT_TRUE(p.process.ended);
}

TEST(UpdateMain, BadRevisionOrUnwritableConfigurationStillOpensTheFrontEnd) {
    for (const bool readOnlyConfig : {false, true}) {
        SCOPED_TRACE(readOnlyConfig ? "read-only config.ini" : "revision no number");
        FakePlatform p;
        p.registry.SetString(platform::kHkeyClassesRoot, "Access.Database\\CurVer", "", "Access.Database.11");
        p.registry.SetString(platform::kHkeyLocalMachine, "Software\\Quenlark\\Orvastell", "", "C:\\Apps\\Orvastell");
        p.files.AddFile("C:\\WINDOWS\\system32\\MSINET.OCX", "control");
        p.files.AddFile(kConfig, ConfigText("1"));
        p.files.AddFile(kDescription, DescriptionText(readOnlyConfig ? "2" : "2x"));
        p.files.AddFile(kNewFile, "new front-end");
        p.files.AddFile(kCopied, "old front-end");
        if (readOnlyConfig) p.files.SetReadOnly(kConfig);
        EXPECT_THROW(RunMain(p.ctx), fakes::ProcessEnded);
        EXPECT_EQ(p.messageBox.shown.size(), 1u);
        ASSERT_EQ(p.shell.executed.size(), 1u);
        EXPECT_EQ(p.shell.executed[0].file, kCopied);
        EXPECT_EQ(p.files.Content(kCopied), readOnlyConfig ? "new front-end" : "old front-end");
    }
}

} // namespace
} // namespace orv
