#include <functional>
#include <limits>
#include <variant>

#include "DownloadSupport.h"

// What the user sees, what is written and what is started. How the window gets there (how often
// it yields, when the bar moves, the order of its steps) is pinned in DownloadMechanics_test.cpp.

namespace orv::test {
namespace {

// The response has come and the window is taking it: the moment the tests that act during a
// download wait for, whatever the window's steps to get there.
bool Downloading(const FakePlatform& p) {
    return p.windows.downloadWindow && p.windows.downloadWindow->status.rfind("Downloading file:", 0) == 0;
}

// ---------------------------------------------------------------- start and completion

TEST(RuntimeDownload, StartsTheWindowWithTheRuntimeSettings) {
    FakePlatform p;
    Prepare(p);
    p.transfer.statesOnExecute.clear();  // nothing arrives yet
    DownloadAccessRuntime(p.ctx);

    const AgentSettings& s = p.ctx.settings;
    EXPECT_EQ(s.DownloadSizeKB, 34148);
    // The address and the checksum as the build sets them.
    EXPECT_EQ(s.DownloadURL, "http://downloads.quenlark.com/downloads/runtime/ACCESSRT.CAB");
    EXPECT_EQ(s.DownloadSHA256, "");
    EXPECT_EQ(s.DownloadTarget, kCab);
    EXPECT_EQ(s.DownloadFilePath, kCab);
    EXPECT_TRUE(s.UnloadWhenDone && s.InstallWhenDone);

    ASSERT_NE(p.windows.downloadWindow, nullptr);
    const auto& view = *p.windows.downloadWindow;
    EXPECT_TRUE(view.visible);
    EXPECT_EQ(view.caption, "File download - Microsoft Access 2003 Runtime");
    EXPECT_EQ(view.status, "Establishing connection... Please wait...");
    EXPECT_EQ(view.progressMax, 34148.0f);
    EXPECT_EQ(view.progressValue, 0.0f);
    ASSERT_NE(p.transfer.control, nullptr);
    EXPECT_EQ(p.transfer.control->requestTimeout, 60);
    EXPECT_EQ(p.transfer.control->bodyLimit, std::int64_t{34148} * 2048);  // twice the expected size
    EXPECT_EQ(p.transfer.control->url, s.DownloadURL);
    // The window is shown before the request goes out.
    EXPECT_LT(JournalAt(p, "download window shown"), JournalAt(p, "execute GET " + s.DownloadURL));

    FakePlatform root;  // from a drive's root the target keeps both separators
    root.process.applicationFolder = "D:\\";
    LoadSettings(root.ctx);
    DownloadAccessRuntime(root.ctx);
    EXPECT_EQ(root.ctx.settings.DownloadTarget, "D:\\\\runtime\\ACCESSRT.CAB");
}

TEST(RuntimeDownload, CompletionSavesTheFileClosesTheWindowAndStartsTheInstaller) {
    FakePlatform p;
    Prepare(p, 3000);
    Download(p);
    ExpectSaved(p);
    EXPECT_EQ(Journaled(p, "shell open " + kMsi), 1);
    EXPECT_EQ(Window(p).GetBufferUBound(), -1);  // the body's memory is given back
    EXPECT_FALSE(p.windows.OpenWindows());
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_FALSE(p.process.ended);
}

TEST(RuntimeDownload, InstallOpensThePackageOnlyWhenItExistsAndReportsWhatItCouldNotOpen) {
    FakePlatform p;
    Prepare(p);
    p.files.RemoveFile(kMsi);
    Download(p);  // the cabinet stays, nothing is opened, and the user is told why
    ExpectSaved(p);
    EXPECT_TRUE(p.shell.executed.empty());
    ExpectNoTemporaryFiles(p);
    ExpectLastBox(p, 1,
                  kProblem + "The Microsoft Access 2003 Runtime was downloaded to " + kCab +
                      ", but its installer package " + kMsi + " is missing, so it can not be installed.");
    EXPECT_FALSE(p.windows.OpenWindows());
    EXPECT_FALSE(p.process.ended);
    p.files.AddFile(kMsi, "package");
    InstallAccessRuntime(p.ctx);
    ASSERT_EQ(p.shell.executed.size(), 1u);
    EXPECT_EQ(p.shell.executed[0].verb, "open");
    EXPECT_EQ(p.shell.executed[0].file, kMsi);
    EXPECT_FALSE(p.process.ended);

    // A package that the shell will not open: one box with the system's reason, and the run
    // ends as one that an error ended.
    FakePlatform refused;
    Prepare(refused);
    refused.shell.executeResult = 31;
    DownloadAccessRuntime(refused.ctx);
    EXPECT_THROW(Pump(refused), fakes::ProcessEnded);
    ExpectSaved(refused);
    ExpectNoTemporaryFiles(refused);
    ExpectLastBox(refused, 1,
                  kProblem + "The file " + kMsi +
                      " could not be opened.\r\n\r\nNo application is associated with the specified file for this "
                      "operation.");
    EXPECT_EQ(refused.process.exitCode, 1u);
    EXPECT_FALSE(refused.windows.OpenWindows());
}

// The installer reads the cabinet and the package from the disk: where the build names them, they
// are checked there, right before the package is opened, and not in the agent's memory.
TEST(RuntimeDownload, TheInstallerGetsOnlyTheFilesTheBuildNamesAsTheyAreOnTheDisk) {
    struct Case {
        const char* what;
        bool named;  // the build names both files' SHA-256s
        std::function<void(FakePlatform&)> arrange;
        std::string problem;  // what the one box says; empty: the package is opened
    };
    const auto notNamed = [](const std::string& file) {
        return "The file " + file + " is not the one this program was built to install, so nothing was installed.";
    };
    // Another program changes the cabinet after its save, before it is read again.
    const auto changeCabinet = [](FakePlatform& p) {
        p.files.onOpenRead = [&p](const std::string& path) {
            if (path == kCab) p.files.AddFile(kCab, "another cabinet");
        };
    };
    const auto plantPackage = [](FakePlatform& p) { p.files.AddFile(kMsi, "a planted package"); };
    const Case cases[] = {
        {"both as named", true, {}, ""},
        {"the cabinet changed after its save", true, changeCabinet, notNamed(kCab)},
        {"a planted package", true, plantPackage, notNamed(kMsi)},
        {"a package that cannot be read", true, [](FakePlatform& p) { p.files.failRead.insert(fakes::NormalizePath(kMsi)); },
         "The file " + kMsi + " could not be checked: Permission denied"},
        {"the cabinet changed, in a build that names nothing", false, changeCabinet, ""},
        {"a planted package, in a build that names nothing", false, plantPackage, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform p;
        Prepare(p);
        RuntimeSource source{p.ctx.runtime.url, "", ""};
        if (c.named) {
            source.sha256 = fakes::HexOf(p.hash.Sha256Of(p.transfer.body));
            source.packageSha256 = fakes::HexOf(p.hash.Sha256Of(Bytes(p.files.Content(kMsi))));
        }
        if (c.arrange) c.arrange(p);
        AgentContext ctx(p.platform, source);
        LoadSettings(ctx);
        DownloadAccessRuntime(ctx);
        bool ended = false;
        try {
            Pump(p);
        } catch (const fakes::ProcessEnded&) {
            ended = true;
        }
        // The download itself passed its checks and was saved.
        EXPECT_EQ(Journaled(p, "replace " + kCab), 1);
        EXPECT_FALSE(p.windows.OpenWindows());
        if (c.problem.empty()) {
            EXPECT_TRUE(p.messageBox.shown.empty());
            EXPECT_EQ(Journaled(p, "shell open " + kMsi), 1);
            EXPECT_FALSE(ended);
            continue;
        }
        ExpectLastBox(p, 1, kProblem + c.problem);
        EXPECT_TRUE(p.shell.executed.empty());
        EXPECT_TRUE(ended);
        EXPECT_EQ(p.process.exitCode, 1u);
    }
}

TEST(RuntimeDownload, FlagsOffKeepTheWindowAndSkipTheInstaller) {
    FakePlatform p;
    Prepare(p, 600);
    StartByHand(p, 10, false, false);
    // What the download was started with holds to its end, whatever is done to the settings.
    AgentSettings& s = p.ctx.settings;
    s.UnloadWhenDone = s.InstallWhenDone = true;
    s.DownloadSHA256 = std::string(64, '0');
    s.DownloadFilePath = kCab + ".elsewhere";
    Pump(p);
    ExpectSaved(p);
    ASSERT_NE(p.windows.downloadWindow, nullptr);
    EXPECT_EQ(p.windows.downloadWindow->status, "Download complete.");
    EXPECT_TRUE(p.shell.executed.empty());

    // Late state changes of the finished request do not start it over: nothing is written again
    // and no failure is reported.
    for (const std::int16_t late : {platform::icResponseReceived, platform::icResponseCompleted, platform::icError})
        p.windows.Post([&p, late] { Window(p).OnTransferStateChanged(late); });
    Pump(p);
    EXPECT_EQ(Journaled(p, "create cached " + TemporaryOf(kCab)), 1);
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_NE(p.windows.downloadWindow, nullptr);
}

// ---------------------------------------------------------------- bodies and the read loop

TEST(DownloadWindow, BodiesOfEveryShapeAndEvery2xxAnswerAreSavedExactly) {
    struct Case {
        std::size_t size;
        std::int32_t status = 200;
        std::vector<std::int16_t> states = {platform::icResponseReceived};
    };
    const Case cases[] = {
        // Multiples of 256 and not, shorter than one chunk, one byte.
        {1280}, {100}, {256}, {257}, {1}, {300, 206}, {300, 299},
        // A finished response without the "received" state is read out all the same.
        {900, 200, {platform::icConnecting, platform::icResponseCompleted}},
        // About 136,000 chunks: a buffer that grew by copying itself at every chunk would not finish.
        {34148u * 1024u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        FakePlatform p;
        Prepare(p, c.size);
        p.transfer.responseCode = c.status;
        p.transfer.contentLength = static_cast<std::int64_t>(c.size);
        p.transfer.statesOnExecute = c.states;
        Download(p);
        ExpectSaved(p);
        EXPECT_EQ(Journaled(p, "shell open " + kMsi), 1);
        EXPECT_TRUE(p.messageBox.shown.empty());
        EXPECT_FALSE(p.windows.OpenWindows());
    }
}

TEST(DownloadWindow, TheBufferTakesMemoryABlockAtATimeWhateverTheServerAnnounces) {
    struct Case {
        const char* what;
        std::size_t body;
        std::int64_t announced;
    };
    const Case cases[] = {
        {"announced honestly", 200000, 200000},
        {"a lying length", 1000, std::int64_t{1} << 40},
        {"no length announced", 70000, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform p;
        Prepare(p, c.body);
        p.transfer.contentLength = c.announced;
        std::size_t roomBeforeTheFirstChunk = 1, mostHeld = 0, mostRoom = 0;
        p.windows.onDoEvents = [&](int) {
            if (!Window(p).Loaded()) return;
            const std::size_t held = static_cast<std::size_t>(Window(p).GetBufferUBound() + 1);
            if (held == 0) roomBeforeTheFirstChunk = Window(p).BufferCapacity();
            mostHeld = std::max(mostHeld, held);
            mostRoom = std::max(mostRoom, Window(p).BufferCapacity() - held);
        };
        StartByHand(p, 34148, false, false);
        Pump(p);
        // Nothing taken ahead on the server's word; never more than one block beyond what is held.
        EXPECT_EQ(roomBeforeTheFirstChunk, 0u);
        EXPECT_LE(mostRoom, ByteBlocks::kBlockSize);
        EXPECT_GE(mostHeld + 256, c.body);
        if (c.announced == static_cast<std::int64_t>(c.body) || c.announced < 0) {
            ExpectSaved(p);
        } else {
            EXPECT_FALSE(p.files.HasFile(kCab));
            ASSERT_EQ(p.messageBox.shown.size(), 1u);
            EXPECT_NE(p.messageBox.shown[0].text.find("after 1000 of 1099511627776 bytes."), std::string::npos);
        }
    }
}

TEST(DownloadWindow, ProgressCountsWholeKilobytesAndNeverPassesTheMaximum) {
    FakePlatform p;
    Prepare(p, 8 * 1024 + 256);  // more than expected, within twice as much
    StartByHand(p, 5, false, false);
    Pump(p);
    EXPECT_EQ(p.windows.downloadWindow->highestProgress, 5.0f);
    EXPECT_EQ(p.windows.downloadWindow->progressValue, 5.0f);
    ExpectSaved(p);

    FakePlatform shortBody;  // a short body does not move the bar but honours the flags
    Prepare(shortBody, 100);
    StartByHand(shortBody, 34148, false, true);
    Pump(shortBody);
    EXPECT_EQ(shortBody.windows.downloadWindow->highestProgress, 0.0f);
    ExpectSaved(shortBody);
    EXPECT_EQ(Journaled(shortBody, "shell open " + kMsi), 1);
}

TEST(DownloadWindow, ASecondResponseStateDuringTheWaitIsIgnored) {
    FakePlatform p;
    Prepare(p, 700);
    p.transfer.statesOnExecute = {platform::icResponseReceived, platform::icResponseReceived};
    p.transfer.busyPolls = 3;
    DownloadAccessRuntime(p.ctx);
    // The first is dispatched; the second is still queued, and a third arrives inside the
    // first's wait.
    bool posted = false;
    p.windows.onDoEvents = [&](int) {
        if (posted || !Downloading(p)) return;
        posted = true;
        p.windows.Post([&p] { Window(p).OnTransferStateChanged(platform::icResponseReceived); });
    };
    Pump(p);
    ExpectSaved(p);
    // Only the first call reads the response out: the nested one does not even begin.
    EXPECT_EQ(Journaled(p, "status Downloading file:\r\n" + p.ctx.settings.DownloadURL), 1);
    EXPECT_EQ(Journaled(p, "create cached " + TemporaryOf(kCab)), 1);
    EXPECT_EQ(Journaled(p, "shell open " + kMsi), 1);
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_FALSE(Window(p).Busy());
    EXPECT_TRUE(posted);
}

// ---------------------------------------------------------------- the user leaves

// Nothing saved, nothing installed or reported, the window gone.
void ExpectNothingKept(FakePlatform& p) {
    EXPECT_FALSE(p.files.HasFile(kCab));
    EXPECT_TRUE(TemporaryFiles(p.files).empty());
    EXPECT_TRUE(p.shell.executed.empty());
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_FALSE(p.windows.OpenWindows());
    EXPECT_FALSE(Window(p).Busy());
}

TEST(DownloadWindow, CancelDuringTheReadOutEndsTheAgentWithNothingSaved) {
    FakePlatform p;
    Prepare(p, 5000);
    DownloadAccessRuntime(p.ctx);
    p.windows.onDoEvents = [&](int) {
        if (p.transfer.control->chunkSizes.size() == 5) p.windows.Post([&p] { Window(p).OnCancelClicked(); });
    };
    EXPECT_THROW(Pump(p), fakes::ProcessEnded);
    EXPECT_GT(p.transfer.control->chunkSizes.size(), 0u);
    ExpectNothingKept(p);
    // The request was cancelled before the agent ended.
    EXPECT_LT(JournalAt(p, "cancel"), JournalAt(p, "end"));
}

TEST(DownloadWindow, TheCloseBoxStopsTheTransferAndTheRunEndsOfItself) {
    // While waiting for the response to finish (no chunk taken yet), and in the middle of the
    // read-out.
    for (const std::size_t closeAt : {std::size_t{0}, std::size_t{2}}) {
        SCOPED_TRACE(closeAt);
        FakePlatform p;
        Prepare(p, 5000);
        p.transfer.busyPolls = 2;
        DownloadAccessRuntime(p.ctx);
        std::size_t chunksAtClose = 0;
        bool posted = false;
        p.windows.onDoEvents = [&](int) {
            if (posted || !Downloading(p) || p.transfer.control->chunkSizes.size() != closeAt) return;
            posted = true;
            p.windows.Post([&p, &chunksAtClose] {
                chunksAtClose = p.transfer.control->chunkSizes.size();
                p.windows.downloadWindow->events.OnCloseRequested();
            });
        };
        Pump(p);
        EXPECT_TRUE(posted);
        ExpectNothingKept(p);
        EXPECT_FALSE(p.process.ended);
        EXPECT_GE(p.transfer.control->cancels, 1);
        // Not one chunk more is taken once the window is gone.
        EXPECT_EQ(p.transfer.control->chunkSizes.size(), chunksAtClose);
        EXPECT_EQ(Window(p).GetBufferUBound(), -1);
    }
    // Before any response: later states and ticks are left unanswered.
    FakePlatform p;
    Prepare(p);
    p.transfer.statesOnExecute.clear();
    DownloadAccessRuntime(p.ctx);
    p.windows.downloadWindow->events.OnCloseRequested();
    EXPECT_EQ(p.transfer.control->cancels, 1);
    Window(p).OnTransferStateChanged(platform::icResponseReceived);
    Window(p).OnTransferStateChanged(platform::icError);
    Window(p).OnTick();
    ExpectNothingKept(p);
}

// ---------------------------------------------------------------- the timer

TEST(DownloadTimer, IdleTicksCalculateOnceThenShowNothingAndAnInstantIsNoTime) {
    FakePlatform p;
    Prepare(p);
    p.transfer.statesOnExecute.clear();
    DownloadAccessRuntime(p.ctx);
    auto& view = *p.windows.downloadWindow;
    // Loaded at noon (the fake clock's time); the ticks come a second apart from there.
    p.clock.secondsQueue = {43201.0f, 43201.0f, 43201.0f, 43202.0f, 43202.0f, 43203.0f, 43203.0f};
    Window(p).OnTick();
    EXPECT_EQ(view.amount, "0.00 KB @ 0.00 KB/s");
    EXPECT_EQ(view.timeLeft, "Time left: Calculating...");
    view.amount = view.timeLeft = "before";
    Window(p).OnTick();  // the same instant as the last tick changes nothing
    EXPECT_EQ(view.amount, "before");
    EXPECT_EQ(view.timeLeft, "before");
    for (int tick = 0; tick < 2; ++tick) {  // a second later all is well again
        Window(p).OnTick();
        EXPECT_EQ(view.amount, "0.00 KB @ 0.00 KB/s");
        EXPECT_EQ(view.timeLeft, "");
    }
}

TEST(DownloadTimer, AmountRateAndTimeLeftDuringTheReadOut) {
    struct Case {
        fakes::FakeLocale::Kind locale;
        float first, second;  // a first of 0: no tick before the read-out
        std::int32_t sizeKB;
        const char *amount, *timeLeft;
    };
    // The window is loaded at noon, 43200 s after midnight.
    const Case cases[] = {
        // A fast network: the first tick finds the read-out under way and measures from the load.
        {fakes::FakeLocale::Kind::EnUs, 0.0f, 43202.0f, 34148, "1,025.00 KB @ 512.50 KB/s", "Time left: 1min 5secs"},
        // 4100 chunks: upper index 1049599, 1024.999 KB; 1049600 bytes in 2 s: 512.5 KB/s, and
        // (34148 - 1024.999) / 512.5 = 64.63 s.
        {fakes::FakeLocale::Kind::EnUs, 43200.0f, 43202.0f, 34148, "1,025.00 KB @ 512.50 KB/s",
         "Time left: 1min 5secs"},
        {fakes::FakeLocale::Kind::CommaDecimal, 43200.0f, 43202.0f, 34148, "1.025,00 KB @ 512,50 KB/s",
         "Time left: 1min 5secs"},
        // Across midnight: 1025 KB over -86399 s.
        {fakes::FakeLocale::Kind::EnUs, 86399.5f, 0.5f, 34148, "1,025.00 KB @ -0.01 KB/s", "Time left: Calculating..."},
        {fakes::FakeLocale::Kind::EnUs, 43200.0f, 43202.0f, 0, "1,025.00 KB @ 512.50 KB/s", ""},  // no size, no estimate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.amount);
        FakePlatform p(c.locale);
        Prepare(p, 256 * 5000);
        StartByHand(p, c.sizeKB, false, false);
        // Ticks once before anything is held (unless the case has no first tick), and once when
        // 4100 chunks are held.
        bool firstDue = c.first != 0.0f, secondDue = true;
        p.windows.onDoEvents = [&](int) {
            const bool first = firstDue;
            const bool second = secondDue && p.transfer.control->chunkSizes.size() == 4100;
            if (!first && !second) return;
            (first ? firstDue : secondDue) = false;
            const float at = first ? c.first : c.second;
            p.clock.secondsQueue = {at, at};
            Window(p).OnTick();
        };
        Pump(p);
        EXPECT_EQ(p.windows.downloadWindow->amount, c.amount);
        EXPECT_EQ(p.windows.downloadWindow->timeLeft, c.timeLeft);
    }
}

// A download that fails after a tick during its read-out: its buffer is emptied before the box, but
// the timer still ticks while the box is up. The window behind it keeps what the last tick of the
// download showed, instead of an amount and a rate measured from that buffer down to nothing.
TEST(DownloadTimer, TheWindowBehindTheFailureBoxKeepsTheLastFiguresOfTheDownload) {
    FakePlatform p;
    Prepare(p, 256 * 5000);
    p.transfer.contentLength = 256 * 5000 + 1;  // one byte short: refused once read out
    bool ticked = false;
    p.windows.onDoEvents = [&](int) {
        if (ticked || p.transfer.control->chunkSizes.size() != 4100) return;
        ticked = true;
        p.clock.secondsQueue = {43202.0f, 43202.0f};
        Window(p).OnTick();
    };
    std::vector<std::string> behindTheBox;
    p.messageBox.onShow = [&](const fakes::FakeMessageBox::Box&) {
        for (const float at : {43203.0f, 43204.0f}) {
            p.clock.secondsQueue = {at, at};
            Window(p).OnTick();
            const auto& view = *p.windows.downloadWindow;
            behindTheBox.push_back(view.amount + " | " + view.timeLeft);
        }
    };
    Download(p);
    ASSERT_TRUE(ticked);
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    const std::string during = "1,025.00 KB @ 512.50 KB/s | Time left: 1min 5secs";
    EXPECT_EQ(behindTheBox, std::vector<std::string>(2, during));
}

// ---------------------------------------------------------------- failed transfers

TEST(DownloadFailure, AFailedTransferIsNeitherSavedNorInstalledAndSaysWhatFailed) {
    using Kind = TransferFailure::Kind;
    struct Case {
        std::string name;
        std::function<void(FakePlatform&)> arrange;
        std::string reason;  // what the box says about the failure
    };
    const std::vector<Case> cases = {
        {"name look-up fails before any response",
         [](FakePlatform& p) {
             p.transfer.statesOnExecute = {platform::icHostResolvingHost, platform::icError};
             p.transfer.failure = Failure(Kind::NameNotResolved, 12007);
         },
         "The server's name could not be found. Please check your Internet connection."},
        {"error state without details while connecting",
         [](FakePlatform& p) { p.transfer.statesOnExecute = {platform::icConnecting, platform::icError}; },
         "The transfer failed."},
        {"no connection, reported with another state",
         [](FakePlatform& p) {
             p.transfer.statesOnExecute = {platform::icConnecting, platform::icDisconnected};
             p.transfer.failure = Failure(Kind::CannotConnect, 12029);
         },
         "The server could not be reached. Please check your Internet connection."},
        {"connection lost before the answer", [](FakePlatform& p) { p.transfer.failure = Failure(Kind::ConnectionLost); },
         "The connection to the server was lost."},
        {"time-out once the response had begun", [](FakePlatform& p) { p.transfer.failure = Failure(Kind::Timeout); },
         "The server did not answer within 60 seconds."},
        {"certificate refused", [](FakePlatform& p) { p.transfer.failure = Failure(Kind::Certificate, 12045); },
         "The server's certificate could not be verified, so the download was refused (error 12045)."},
        {"404", [](FakePlatform& p) { p.transfer.responseCode = 404; }, "The server answered 404 Not Found."},
        {"500", [](FakePlatform& p) { p.transfer.responseCode = 500; },
         "The server answered 500 Internal Server Error."},
        {"199", [](FakePlatform& p) { p.transfer.responseCode = 199; }, "The server answered 199."},
        {"300", [](FakePlatform& p) { p.transfer.responseCode = 300; }, "The server answered 300."},
        {"no status at all", [](FakePlatform& p) { p.transfer.responseCode = 0; },
         "The server's reply was not understood."},
        // The number and the agent's own phrase for it: the control hands over no phrase of the
        // server's, whatever the server sent.
        {"503 reported by the control", [](FakePlatform& p) { p.transfer.failure = Failure(Kind::HttpStatus, 0, 503); },
         "The server answered 503 Service Unavailable."},
        {"status outside the known phrases",
         [](FakePlatform& p) { p.transfer.failure = Failure(Kind::HttpStatus, 0, 418); },
         "The server answered 418."},
        {"cut short, as the control counted it",
         [](FakePlatform& p) {
             p.transfer.failure = Failure(Kind::Truncated);
             p.transfer.failure.received = 1500;
             p.transfer.failure.announced = 3001;
         },
         "The connection to the server closed after 1500 of 3001 bytes."},
        {"cut short, as the window counts it",
         [](FakePlatform& p) { p.transfer.contentLength = static_cast<std::int64_t>(p.transfer.body.size()) + 1; },
         "The connection to the server closed after 1000 of 1001 bytes."},
        {"connection lost in the body, nothing announced",
         [](FakePlatform& p) { p.transfer.failure = Failure(Kind::Truncated, 12030); },
         "The connection to the server was lost before the whole file had arrived."},
        {"secure download sent on to a plain address",
         [](FakePlatform& p) {
             p.transfer.statesOnExecute = {platform::icConnecting, platform::icError};
             p.transfer.failure = Failure(Kind::InsecureRedirect);
         },
         "The download was redirected to an address that is not secure, so it was stopped."},
        {"too many redirects", [](FakePlatform& p) { p.transfer.failure = Failure(Kind::TooManyRedirects); },
         "The download was redirected too many times, so it was stopped."},
        {"not started", [](FakePlatform& p) { p.transfer.failure = Failure(Kind::NotStarted, 126); },
         "The download could not be started (error 126)."},
        {"out of memory", [](FakePlatform& p) { p.transfer.failure = Failure(Kind::OutOfMemory); },
         "There is not enough memory to hold the file."},
        {"another failure of the system", [](FakePlatform& p) { p.transfer.failure = Failure(Kind::Other, 12150); },
         "The transfer failed (error 12150)."},
        {"empty body", [](FakePlatform& p) { p.transfer.body.clear(); }, "The server sent an empty file."},
        {"a body past twice the expected size",
         [](FakePlatform& p) { p.transfer.body.resize(std::size_t{34148} * 2048 + 1); },
         "The server sent more than 69935104 bytes, far more than the expected size, so the download was stopped."},
    };
    for (const bool earlier : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name + (earlier ? ", earlier cabinet there" : ""));
            FakePlatform p;
            Prepare(p);
            if (earlier) p.files.AddFile(kCab, "earlier download");
            c.arrange(p);
            Download(p);
            ExpectNoTemporaryFiles(p);
            ExpectLastBox(p, 1, kProblem + "The file could not be downloaded from " + p.ctx.settings.DownloadURL +
                                    ".\r\n\r\n" + c.reason);
            ExpectFile(p, kCab, earlier ? std::optional<std::string>("earlier download") : std::nullopt);
            EXPECT_TRUE(p.shell.executed.empty());
            EXPECT_FALSE(p.windows.OpenWindows());
            EXPECT_TRUE(p.windows.queue.empty());
            EXPECT_FALSE(p.process.ended);
            EXPECT_FALSE(Window(p).Busy());
            // The request was stopped before the user was told.
            EXPECT_LT(JournalAt(p, "cancel"), JournalAt(p, "box Whoops!"));
        }
    }
}

TEST(DownloadFailure, OnlyTheFileWhoseChecksumTheBuildNamesIsSavedAndInstalled) {
    struct Case {
        const char* what;
        std::function<std::string(const std::string&)> expected;  // from the body's own digest
        std::function<void(FakePlatform&)> arrange;
        const char* reason;  // nullptr: saved
    };
    const auto same = [](const std::string& hex) { return hex; };
    const Case cases[] = {
        {"the right file", same, {}, nullptr},
        {"the right file, upper case", [](const std::string& hex) { return ToUpperAscii(hex); }, {}, nullptr},
        {"one byte changed", same, [](FakePlatform& p) { p.transfer.body[500] ^= 1; },
         "The downloaded file did not match the file expected (its SHA-256 checksum differs), so it was not saved."},
        {"a checksum that is no checksum", [](const std::string& hex) { return hex.substr(1); }, {},
         "The downloaded file did not match the file expected (its SHA-256 checksum differs), so it was not saved."},
        {"no hashing on this system", same, [](FakePlatform& p) { p.hash.error = AgentError(53, "no CNG."); },
         "The downloaded file could not be checked: no CNG."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform p;
        Prepare(p);
        p.files.AddFile(kCab, "earlier download");
        const std::string good = fakes::HexOf(p.hash.Sha256Of(p.transfer.body));
        if (c.arrange) c.arrange(p);
        AgentContext ctx(p.platform, RuntimeSource{p.ctx.runtime.url, c.expected(good), ""});
        LoadSettings(ctx);
        DownloadAccessRuntime(ctx);
        Pump(p);
        if (!c.reason) {
            EXPECT_TRUE(p.messageBox.shown.empty());
            EXPECT_EQ(Bytes(p.files.Content(kCab)), p.transfer.body);
            EXPECT_EQ(Journaled(p, "shell open " + kMsi), 1);
            continue;
        }
        ExpectNoTemporaryFiles(p);
        ExpectLastBox(p, 1, kProblem + "The file could not be downloaded from " + ctx.settings.DownloadURL +
                                ".\r\n\r\n" + c.reason);
        ExpectFile(p, kCab, "earlier download");
        EXPECT_TRUE(p.shell.executed.empty());
        EXPECT_FALSE(p.windows.OpenWindows());
    }
    // Without a checksum in the build nothing is hashed.
    FakePlatform p;
    Prepare(p);
    Download(p);
    ExpectSaved(p);
    EXPECT_EQ(p.hash.calls, 0);
}

// What CheckReadOut decides, in words: "save", the reason it gives, or the transfer failure it
// gives (its kind's number, its error and its counts).
std::string Decision(const std::optional<DownloadRefusal>& refusal) {
    if (!refusal) return "save";
    if (const auto* reason = std::get_if<std::string>(&*refusal)) return *reason;
    const TransferFailure& f = std::get<TransferFailure>(*refusal);
    return "failure " + std::to_string(static_cast<int>(f.kind)) + ", error " + std::to_string(f.systemError) + ", " +
           std::to_string(f.received) + " of " + std::to_string(f.announced);
}

TEST(DownloadFailure, TheChecksAfterTheReadOutTakeTheFirstFailureInTheirOrder) {
    using Kind = TransferFailure::Kind;
    enum class Sum { None, Right, Wrong, NoHashing };  // the checksum the settings name
    struct Case {
        const char* what;
        TransferFailure failure;
        std::int64_t announced;
        std::size_t received;
        Sum sum;
        std::string decision;
        int hashes;  // how often the body is hashed
    };
    const std::string mismatch =
        "The downloaded file did not match the file expected (its SHA-256 checksum differs), so it was not saved.";
    const std::string truncated = "failure " + std::to_string(static_cast<int>(Kind::Truncated)) + ", error 0, ";
    const Case cases[] = {
        {"no length announced", {}, -1, 1000, Sum::None, "save", 0},
        {"all that was announced", {}, 1000, 1000, Sum::None, "save", 0},
        {"more than announced", {}, 999, 1000, Sum::None, "save", 0},
        {"the control's failure, whatever else is wrong", Failure(Kind::Timeout, 12002), 2000, 0, Sum::Wrong,
         "failure " + std::to_string(static_cast<int>(Kind::Timeout)) + ", error 12002, -1 of -1", 0},
        {"fewer bytes than announced", {}, 1001, 1000, Sum::Wrong, truncated + "1000 of 1001", 0},
        {"nothing, though something was announced", {}, 5, 0, Sum::None, truncated + "0 of 5", 0},
        {"nothing, nothing announced", {}, -1, 0, Sum::Wrong, "The server sent an empty file.", 0},
        {"nothing, as announced", {}, 0, 0, Sum::None, "The server sent an empty file.", 0},
        {"the named file", {}, 1000, 1000, Sum::Right, "save", 1},
        {"another file", {}, -1, 1000, Sum::Wrong, mismatch, 1},
        {"no hashing on this system", {}, -1, 1000, Sum::NoHashing, "The downloaded file could not be checked: no CNG.",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = Pattern(c.received, 3);
        ByteBlocks body;
        body.Append(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        fakes::FakeHash hash;
        std::string expected;
        if (c.sum != Sum::None) expected = fakes::HexOf(hash.Sha256Of(Bytes(c.sum == Sum::Wrong ? bytes + "!" : bytes)));
        if (c.sum == Sum::NoHashing) hash.error = AgentError(53, "no CNG.");
        hash.calls = 0;
        EXPECT_EQ(Decision(CheckReadOut({c.failure, c.announced, body, expected}, hash)), c.decision);
        EXPECT_EQ(hash.calls, c.hashes);
    }
}

TEST(DownloadFailure, AnErrorPageIsNotEvenReadOut) {
    FakePlatform p;
    Prepare(p, 600);
    p.transfer.responseCode = 404;
    Download(p);
    ASSERT_NE(p.transfer.control, nullptr);
    EXPECT_TRUE(p.transfer.control->chunkSizes.empty());
    EXPECT_EQ(p.messageBox.shown.size(), 1u);
}

TEST(DownloadFailure, AMissingRuntimeFolderOrATimerErrorEndsTheRunWithTheUnhandledErrorBox) {
    FakePlatform p;
    LoadSettings(p.ctx);
    p.transfer.body = Bytes(Pattern(1000));
    DownloadAccessRuntime(p.ctx);
    EXPECT_THROW(Pump(p), fakes::ProcessEnded);
    ExpectNoTemporaryFiles(p);
    ExpectLastBox(p, 1, "Run-time error '76':\r\n\r\nPath not found", "Orvastell");
    EXPECT_EQ(p.process.exitCode, 1u);
    EXPECT_TRUE(p.shell.executed.empty());
    EXPECT_TRUE(p.files.AllFiles().empty());
    EXPECT_EQ(p.journal.back(), "end");

    FakePlatform timer;
    Prepare(timer);
    timer.transfer.statesOnExecute.clear();
    DownloadAccessRuntime(timer.ctx);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    timer.clock.secondsQueue = {nan, nan};
    EXPECT_THROW(timer.windows.downloadWindow->events.OnTick(), fakes::ProcessEnded);
    ExpectNoTemporaryFiles(timer);
    ExpectLastBox(timer, 1, "Run-time error '6':\r\n\r\nOverflow", "Orvastell");
    EXPECT_EQ(timer.process.exitCode, 1u);
}

} // namespace
} // namespace orv::test
