#include "TestSupport.h"
#include "update/Update.h"
#include "update/UpdateWindow.h"

namespace orv::test {
namespace {

using fakes::FakeLocale;

// The agent's settings, its configuration naming the update share, and a new front-end there.
void Arrange(FakePlatform& p, const std::string& installed, const std::string& offered) {
    LoadSettings(p.ctx);
    OfferUpdate(p, installed, offered);
}

// Nothing copied, nothing written, no window and no pause.
void ExpectNoUpdate(const FakePlatform& p, const std::optional<std::string>& configBefore) {
    ExpectFile(p, kFrontEnd, std::nullopt);
    ExpectFile(p, kConfig, configBefore);
    EXPECT_EQ(p.windows.updateWindowsCreated, 0);
    EXPECT_TRUE(p.clock.sleeps.empty());
}

// A second run on the same machine.
bool RunAgain(FakePlatform& p) {
    AgentContext next(p.platform);
    LoadSettings(next);
    return RunAutomaticUpdate(next);
}

// ---------------------------------------------------------------- deciding

TEST(Update, RevisionsAreComparedAsNumbersUnderTheLocaleAndRecordedInTheirShortestForm) {
    struct Case {
        FakeLocale::Kind locale;
        const char *installed, *offered;
        const char* recorded;  // nullptr: no update
    };
    const FakeLocale::Kind en = FakeLocale::Kind::EnUs, comma = FakeLocale::Kind::CommaDecimal;
    const Case cases[] = {
        {en, "9", "10", "10"},        {en, "2", "2.0", nullptr},      {en, "10", "9", nullptr},
        {en, " 1.5 ", "1.25", nullptr}, {en, "1.5", "1.75", "1.75"}, {en, "6", "007", "7"},
        {comma, "1,5", "1,75", "1,75"}, {comma, "2,5", "2,50", nullptr},
        {comma, "2", "1.5", "15"},  // here "." groups thousands: 1.5 reads as 15
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.installed) + " -> " + c.offered);
        FakePlatform p(c.locale);
        Arrange(p, c.installed, c.offered);
        const std::string before = p.files.Content(kConfig);
        EXPECT_EQ(RunAutomaticUpdate(p.ctx), c.recorded != nullptr);
        EXPECT_TRUE(p.messageBox.shown.empty());
        if (!c.recorded) {
            ExpectNoUpdate(p, before);
            continue;
        }
        ExpectFile(p, kFrontEnd, "new front-end");
        ExpectFile(p, kNewFile, "new front-end");
        // The revision is replaced in its line; the time is added at the end of the section,
        // after the blank line that the section's closing CR LF leaves.
        ExpectFile(p, kConfig, ConfigText(c.recorded) +
                                   (c.locale == en ? kStamp : "\r\nFileLastUpdate=09.12.2025 12:00:00"));
        EXPECT_EQ(p.files.AllFiles().size(), 4u);  // no temporary file left
        EXPECT_FALSE(RunAgain(p));                 // the next run finds nothing newer
    }
}

TEST(Update, NothingHappensWhenAPieceOfTheConfigurationIsMissing) {
    struct Case {
        const char* what;
        std::optional<std::string> config;
        std::string description;
        bool newFile = true;
    };
    const std::vector<Case> cases = {
        {"no configuration file", std::nullopt, DescriptionText("2")},
        {"no UpdateLocation", "[UpdateFrontend]\r\nFileRevision=1\r\n", DescriptionText("2")},
        {"no installed revision", "[UpdateFrontend]\r\nUpdateLocation=" + kDescription + "\r\n", DescriptionText("2")},
        {"key with blanks", "[UpdateFrontend]\r\nUpdateLocation=" + kDescription + "\r\nFileRevision = 1\r\n",
         DescriptionText("2")},
        {"location with a trailing blank", ConfigText("1", kDescription + " "), DescriptionText("2")},
        {"no offered revision", ConfigText("1"), "[UpdateFrontend]\r\nFileLocation=" + kNewFile},
        {"no FileLocation", ConfigText("1"), "[UpdateFrontend]\r\nFileRevision=2\r\n"},
        {"empty offered revision", ConfigText("1"), DescriptionText("")},
        {"new file missing", ConfigText("1"), DescriptionText("2"), false},
        {"no description", ConfigText("1"), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform p;
        LoadSettings(p.ctx);
        if (c.config) p.files.AddFile(kConfig, *c.config);
        if (!c.description.empty()) p.files.AddFile(kDescription, c.description);
        if (c.newFile) p.files.AddFile(kNewFile, "new front-end");
        EXPECT_FALSE(RunAutomaticUpdate(p.ctx));
        EXPECT_TRUE(p.messageBox.shown.empty());
        ExpectNoUpdate(p, c.config);
    }
}

TEST(Update, KeyNamesMatchWithoutRegardToCaseAndTheFileKeepsItsNameFromFileLocation) {
    FakePlatform p;
    LoadSettings(p.ctx);
    const std::string lower = "[updatefrontend]\r\nupdatelocation=" + kDescription + "\r\n";
    p.files.AddFile(kConfig, lower + "filerevision=3\r\n");
    p.files.AddFile(kDescription, DescriptionText("4", "D:\\drop\\ORV_v2.mde"));
    p.files.AddFile("D:\\drop\\ORV_v2.mde", "v2");
    EXPECT_TRUE(RunAutomaticUpdate(p.ctx));
    ExpectFile(p, kConfig, lower + "FileRevision=4\r\n" + kStamp);
    ExpectFile(p, kFolder + "\\ORV_v2.mde", "v2");
    ExpectFile(p, kFrontEnd, std::nullopt);
}

TEST(Update, RevisionThatIsNoNumberSkipsTheUpdateWithOneBox) {
    struct Case {
        const char *installed, *offered;
        const std::string& file;
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
        ExpectNoTemporaryFiles(p);
        ExpectLastBox(p, 1, kProblem + "The automatic update of Orvastell was skipped.\r\n\r\nThe revision \"" +
                                c.bad + "\" in " + c.file + " is not a number.");
        ExpectNoUpdate(p, before);
    }
}

TEST(Update, AFileLocationThatDoesNotEndInAPlainFileNameSkipsTheUpdateWithOneBox) {
    // Each names an existing file on the share, but would write somewhere other than a file of
    // the agent's folder: above it, into a stream, or to a device.
    for (const std::string& location : {std::string("\\\\server\\share\\d2/../../evil.txt"),
                                       std::string("\\\\server\\share\\ORV.mde:evil"),
                                       std::string("\\\\server\\share\\NUL.mde"), std::string("C:\\drop\\..")}) {
        SCOPED_TRACE(location);
        FakePlatform p;
        LoadSettings(p.ctx);
        p.files.AddFile(kConfig, ConfigText("1"));
        p.files.AddFile(kDescription, DescriptionText("2", location));
        p.files.AddFile(location, "planted");
        const auto filesBefore = p.files.AllFiles();
        bool result = true;
        EXPECT_NO_THROW(result = RunAutomaticUpdate(p.ctx));
        EXPECT_FALSE(result);
        ExpectNoTemporaryFiles(p);
        ExpectLastBox(p, 1, kProblem + "The automatic update of Orvastell was skipped.\r\n\r\nThe file location \"" +
                                location + "\" in " + kDescription + " does not end in a plain file name.");
        EXPECT_EQ(p.files.AllFiles(), filesBefore);
        ExpectNoUpdate(p, ConfigText("1"));
    }
}

// ---------------------------------------------------------------- showing, copying, recording

TEST(Update, WindowIsPaintedBeforeThePauseAndUnloadedAfterTheCopy) {
    FakePlatform p;
    Arrange(p, "1", "2");
    bool paintedDuringPause = false;
    p.clock.onSleep = [&](std::uint32_t) {
        paintedDuringPause = p.windows.updateWindow && p.windows.updateWindow->visible && p.windows.updateWindow->painted;
    };
    EXPECT_TRUE(RunAutomaticUpdate(p.ctx));
    EXPECT_TRUE(paintedDuringPause);
    EXPECT_EQ(p.clock.sleeps, std::vector<std::uint32_t>{2000});
    const std::vector<std::string> order = {"update window shown", "update window painted", "sleep 2000",
                                            "read " + kNewFile,    "replace " + kFrontEnd,  "replace " + kConfig,
                                            "update window destroyed"};
    for (std::size_t i = 1; i < order.size(); ++i) EXPECT_LT(JournalAt(p, order[i - 1]), JournalAt(p, order[i]));
    EXPECT_FALSE(p.windows.OpenWindows());
    EXPECT_FALSE(TheUpdateWindow(p.ctx).Loaded());
}

TEST(Update, AFailedCopyOrRecordIsShownWithTheWindowUpAndTriedAgainNextRun) {
    struct Case {
        const char* what;
        std::function<void(FakePlatform&, bool)> block;  // blocks (true) or frees (false) the file
        std::string box;
        const char* frontEndAfter;
    };
    const std::string notRecorded =
        kProblem + "The front-end was updated, but its new revision could not be recorded in " + kConfig + ".\r\n\r\n";
    const Case cases[] = {
        {"front-end held open", [](FakePlatform& p, bool on) { p.files.SetReadOnly(kFrontEnd, on); },
         CopyFailed("Permission denied", kFrontEnd), "old front-end"},
        {"config.ini read-only", [](FakePlatform& p, bool on) { p.files.SetReadOnly(kConfig, on); },
         notRecorded + "Permission denied", "new front-end"},
        // Read when the update was decided, then held open without read sharing by another
        // program while the revision is recorded: it must not be rebuilt from nothing.
        {"config.ini unreadable at the record",
         [](FakePlatform& p, bool on) {
             p.files.failRead.clear();
             p.clock.onSleep = nullptr;
             if (on) p.clock.onSleep = [&p](std::uint32_t) { p.files.failRead.insert(fakes::NormalizePath(kConfig)); };
         },
         notRecorded + "Permission denied", "new front-end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform p;
        Arrange(p, "1", "2");
        p.files.AddFile(kFrontEnd, "old front-end");
        c.block(p, true);
        bool windowUpDuringBox = false;
        p.messageBox.onShow = [&](const auto&) {
            windowUpDuringBox = p.windows.updateWindow && p.windows.updateWindow->visible;
        };
        bool result = true;
        EXPECT_NO_THROW(result = RunAutomaticUpdate(p.ctx));
        EXPECT_FALSE(result);
        ExpectNoTemporaryFiles(p);
        ExpectLastBox(p, 1, c.box);
        EXPECT_TRUE(windowUpDuringBox);
        EXPECT_FALSE(p.windows.OpenWindows());
        ExpectFile(p, kConfig, ConfigText("1"));
        ExpectFile(p, kFrontEnd, c.frontEndAfter);

        // Next start, the file is free again: the update is tried again and goes through.
        c.block(p, false);
        EXPECT_TRUE(RunAgain(p));
        ExpectFile(p, kFrontEnd, "new front-end");
        ExpectFile(p, kConfig, ConfigText("2") + kStamp);
        EXPECT_EQ(p.messageBox.shown.size(), 1u);
    }
}

// ---------------------------------------------------------------- the whole run

TEST(UpdateMain, TheFrontEndOpensAfterTheUpdateWhateverBecameOfIt) {
    struct Case {
        const char* what;
        const char* offered;
        bool readOnlyConfig;
        std::size_t boxes;
        const char* frontEndAfter;
        std::size_t descriptionSize = 0;  // the description padded with blanks to this size
    };
    constexpr std::size_t kBound = 4u << 20;  // beyond it a text file counts as unreadable
    for (const Case& c : {Case{"updated", "2", false, 0, "new front-end"},
                          Case{"revision no number", "2x", false, 1, "old front-end"},
                          Case{"read-only config.ini", "2", true, 1, "new front-end"},
                          Case{"description of 4 MB", "2", false, 0, "new front-end", kBound},
                          Case{"description of 4 MB and a byte", "2", false, 0, "old front-end", kBound + 1}}) {
        SCOPED_TRACE(c.what);
        FakePlatform p;
        Install(p);
        OfferUpdate(p, "1", c.offered);
        if (c.readOnlyConfig) p.files.SetReadOnly(kConfig);
        if (c.descriptionSize) {
            std::string text = DescriptionText(c.offered);
            text.resize(c.descriptionSize, ' ');
            p.files.AddFile(kDescription, text);
        }
        EXPECT_THROW(RunMain(p.ctx), fakes::ProcessEnded);
        EXPECT_EQ(p.messageBox.shown.size(), c.boxes);
        ExpectFile(p, kFrontEnd, c.frontEndAfter);
        ASSERT_EQ(p.shell.executed.size(), 1u);
        EXPECT_EQ(p.shell.executed[0].file, kFrontEnd);
        EXPECT_FALSE(p.windows.OpenWindows());
        EXPECT_EQ(p.journal.back(), "end");
        EXPECT_EQ(p.process.exitCode, 0u);
    }
}

} // namespace
} // namespace orv::test
