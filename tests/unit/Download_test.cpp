#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "download/Internet.h"
#include "download/frmDownloadFile.h"
#include "fakes/Fakes.h"

namespace orv {
namespace {

using fakes::FakePlatform;
using platform::TransferFailure;

const std::string kRuntime = "C:\\Apps\\Orvastell\\runtime";
const std::string kCab = kRuntime + "\\ACCESSRT.CAB";
const std::string kMsi = kRuntime + "\\ACCESSRT.MSI";

std::vector<std::uint8_t> Body(std::size_t size) {
    std::vector<std::uint8_t> b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>((i * 7 + i / 256) % 251);
    return b;
}

// The agent's folder with its runtime folder and installer package, and the settings of a run.
void Prepare(FakePlatform& p, std::size_t bodySize = 1000) {
    LoadSettings(p.ctx);
    p.files.AddFolder(kRuntime);
    p.files.AddFile(kMsi, "package");
    p.transfer.body = Body(bodySize);
}

// Dispatches window events until nothing is pending.
void Pump(FakePlatform& p) {
    for (int i = 0; i < 100 && !p.windows.queue.empty(); ++i) p.windows.DoEvents();
}

void Download(FakePlatform& p) {
    DownloadAccessRuntime(p.ctx);
    Pump(p);
}

frmDownloadFile& Window(FakePlatform& p) { return p.ctx.DownloadWindow(); }

std::vector<std::uint8_t> FileBytes(FakePlatform& p, const std::string& path) {
    const std::string c = p.files.Content(path);
    return {c.begin(), c.end()};
}

bool Journaled(const FakePlatform& p, const std::string& entry) {
    return std::find(p.journal.begin(), p.journal.end(), entry) != p.journal.end();
}

// Nothing saved, nothing installed, the window gone.
void ExpectNothingKept(FakePlatform& p) {
    EXPECT_FALSE(p.files.HasFile(kCab));
    EXPECT_FALSE(p.files.HasFile(kCab + ".orvtmp"));
    EXPECT_TRUE(p.shell.executed.empty());
    EXPECT_FALSE(p.windows.OpenWindows());
    EXPECT_FALSE(Window(p).Busy());
}

// ---------------------------------------------------------------- start and completion

TEST(RuntimeDownload, StartsTheWindowWithTheRuntimeSettings) {
    FakePlatform p;
    Prepare(p);
    p.transfer.statesOnExecute.clear();  // nothing arrives yet
    DownloadAccessRuntime(p.ctx);

    const AgentSettings& s = p.ctx.settings;
    EXPECT_EQ(s.DownloadSizeKB, 34148);
    EXPECT_EQ(s.DownloadURL.rfind("http://", 0), 0u);
    const std::string path = kRuntimeDownloadPath;
    ASSERT_GT(s.DownloadURL.size(), 7 + path.size());
    EXPECT_EQ(s.DownloadURL.substr(s.DownloadURL.size() - path.size()), path);
    EXPECT_EQ(s.DownloadURL.substr(7, s.DownloadURL.size() - 7 - path.size()).find('/'), std::string::npos);
    EXPECT_EQ(s.DownloadTarget, kCab);
    EXPECT_EQ(s.DownloadFilePath, kCab);
    EXPECT_TRUE(s.UnloadWhenDone);
    EXPECT_TRUE(s.InstallWhenDone);

    ASSERT_NE(p.windows.downloadWindow, nullptr);
    const auto& view = *p.windows.downloadWindow;
    EXPECT_TRUE(view.visible);
    EXPECT_EQ(view.caption, "File download - Microsoft Access 2003 Runtime");
    EXPECT_EQ(view.label1, "Establishing connection... Please wait...");
    EXPECT_EQ(view.progressMax, 34148.0f);
    EXPECT_EQ(view.progressValue, 0.0f);
    ASSERT_NE(p.transfer.control, nullptr);
    EXPECT_EQ(p.transfer.control->requestTimeout, 60);
    EXPECT_EQ(p.transfer.control->operation, "GET");
    EXPECT_EQ(p.transfer.control->url, s.DownloadURL);
    // The window is shown before the request goes out.
    const auto shown = std::find(p.journal.begin(), p.journal.end(), "download window shown");
    const auto executed = std::find(p.journal.begin(), p.journal.end(), "execute GET " + s.DownloadURL);
    EXPECT_LT(shown, executed);
    EXPECT_NE(executed, p.journal.end());
}

TEST(RuntimeDownload, FromADriveRootTheTargetKeepsBothSeparators) {
    FakePlatform p;
    p.process.applicationFolder = "D:\\";
    LoadSettings(p.ctx);
    p.transfer.statesOnExecute.clear();
    DownloadAccessRuntime(p.ctx);
    EXPECT_EQ(p.ctx.settings.DownloadTarget, "D:\\\\runtime\\ACCESSRT.CAB");
}

TEST(RuntimeDownload, CompletionRunsItsStepsInOrder) {
    FakePlatform p;
    Prepare(p, 3000);
    Download(p);

    EXPECT_EQ(FileBytes(p, kCab), p.transfer.body);
    const std::vector<std::string> expected = {
        "label1 Download complete.",
        "cancel",
        "create " + kCab + ".orvtmp",
        "replace " + kCab,
        "cancel",  // the unload's close request
        "download window destroyed",
        "shell open " + kMsi,
    };
    const auto first = std::find(p.journal.begin(), p.journal.end(), expected.front());
    ASSERT_NE(first, p.journal.end());
    EXPECT_EQ(std::vector<std::string>(first, p.journal.end()), expected);
    EXPECT_EQ(Window(p).GetBufferUBound(), -1);
    EXPECT_FALSE(Window(p).Busy());
    EXPECT_FALSE(p.windows.OpenWindows());
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_FALSE(p.process.ended);
}

TEST(RuntimeDownload, WithoutThePackageTheCabinetStaysAndNothingIsOpened) {
    FakePlatform p;
    Prepare(p);
    p.files.RemoveFile(kMsi);
    Download(p);
    EXPECT_TRUE(p.files.HasFile(kCab));
    EXPECT_TRUE(p.shell.executed.empty());
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_FALSE(p.windows.OpenWindows());
}

TEST(RuntimeDownload, InstallOpensThePackageOnlyWhenItExists) {
    FakePlatform p;
    InstallAccessRuntime(p.ctx);
    EXPECT_TRUE(p.shell.executed.empty());
    p.files.AddFile(kMsi, "package");
    InstallAccessRuntime(p.ctx);
    ASSERT_EQ(p.shell.executed.size(), 1u);
    EXPECT_EQ(p.shell.executed[0].verb, "open");
    EXPECT_EQ(p.shell.executed[0].file, kMsi);
    EXPECT_TRUE(p.messageBox.shown.empty());
}

TEST(RuntimeDownload, FlagsOffKeepTheWindowAndSkipTheInstaller) {
    FakePlatform p;
    Prepare(p, 600);
    ShowForm(Window(p));
    p.ctx.settings.UnloadWhenDone = false;
    p.ctx.settings.InstallWhenDone = false;
    StartDownload(p.ctx, 10, kCab, "http://host/f.cab");
    Pump(p);
    EXPECT_EQ(FileBytes(p, kCab), p.transfer.body);
    ASSERT_NE(p.windows.downloadWindow, nullptr);
    EXPECT_EQ(p.windows.downloadWindow->label1, "Download complete.");
    EXPECT_TRUE(p.shell.executed.empty());

    // Late state changes of the finished request do not start it over: nothing is written again
    // and no failure is reported.
    const auto creates = std::count_if(p.journal.begin(), p.journal.end(),
                                       [](const std::string& e) { return e.rfind("create ", 0) == 0; });
    for (const std::int16_t late : {platform::icResponseReceived, platform::icResponseCompleted, platform::icError}) {
        p.windows.Post([&p, late] { Window(p).Inet1_StateChanged(late); });
    }
    Pump(p);
    EXPECT_EQ(std::count_if(p.journal.begin(), p.journal.end(),
                            [](const std::string& e) { return e.rfind("create ", 0) == 0; }),
              creates);
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_NE(p.windows.downloadWindow, nullptr);
}

// ---------------------------------------------------------------- bodies and the read loop

TEST(DownloadWindow, BodiesOfEveryShapeAreSavedExactly) {
    struct Case {
        std::size_t size;
        std::size_t chunkCalls;  // GetChunk calls the read loop makes
    };
    // A multiple of 256 ends on the empty chunk after the last full one; a shorter body is one
    // short chunk.
    for (const Case c : {Case{1280, 6}, Case{100, 1}, Case{256, 2}, Case{257, 2}, Case{1, 1}}) {
        FakePlatform p;
        Prepare(p, c.size);
        Download(p);
        EXPECT_EQ(FileBytes(p, kCab), p.transfer.body) << c.size;
        ASSERT_NE(p.transfer.control, nullptr);
        EXPECT_EQ(p.transfer.control->chunkSizes.size(), c.chunkCalls) << c.size;
        EXPECT_TRUE(Journaled(p, "shell open " + kMsi)) << c.size;
        EXPECT_FALSE(p.windows.OpenWindows()) << c.size;
    }
    // Every chunk is asked for at 256 bytes, with a yield before each.
    FakePlatform p;
    Prepare(p, 1280);
    DownloadAccessRuntime(p.ctx);
    std::vector<int> yieldsBeforeChunk;
    p.windows.onDoEvents = [&](int) {
        yieldsBeforeChunk.push_back(static_cast<int>(p.transfer.control->chunkSizes.size()));
    };
    Pump(p);
    EXPECT_EQ(p.transfer.control->chunkSizes, std::vector<std::size_t>(6, 256));
    // Dispatch, one wait, then one yield before each of the six chunks.
    EXPECT_EQ(yieldsBeforeChunk, (std::vector<int>{0, 0, 0, 1, 2, 3, 4, 5}));
}

TEST(DownloadWindow, AShortBodyDoesNotMoveTheBarButHonoursTheFlags) {
    FakePlatform p;
    Prepare(p, 100);
    ShowForm(Window(p));
    p.ctx.settings.UnloadWhenDone = false;
    p.ctx.settings.InstallWhenDone = true;
    StartDownload(p.ctx, 34148, kCab, "http://host/f.cab");
    Pump(p);
    ASSERT_NE(p.windows.downloadWindow, nullptr);
    EXPECT_EQ(p.windows.downloadWindow->highestProgress, 0.0f);
    EXPECT_EQ(FileBytes(p, kCab), p.transfer.body);
    EXPECT_TRUE(Journaled(p, "shell open " + kMsi));
}

TEST(DownloadWindow, EveryAnswerInThe2xxRangeIsSaved) {
    for (const std::int32_t status : {200, 206, 299}) {
        FakePlatform p;
        Prepare(p, 300);
        p.transfer.responseCode = status;
        p.transfer.contentLength = 300;
        Download(p);
        EXPECT_EQ(FileBytes(p, kCab), p.transfer.body) << status;
        EXPECT_TRUE(p.messageBox.shown.empty()) << status;
    }
}

TEST(DownloadWindow, ProgressCountsWholeKilobytesAndNeverPassesTheMaximum) {
    FakePlatform p;
    Prepare(p, 8 * 1024 + 256);
    ShowForm(Window(p));
    p.ctx.settings.UnloadWhenDone = false;
    StartDownload(p.ctx, 2, kCab, "http://host/f.cab");
    std::vector<float> seen;
    p.windows.onDoEvents = [&](int) {
        if (p.windows.downloadWindow) seen.push_back(p.windows.downloadWindow->progressValue);
    };
    Pump(p);
    ASSERT_NE(p.windows.downloadWindow, nullptr);
    EXPECT_EQ(p.windows.downloadWindow->highestProgress, 2.0f);
    EXPECT_EQ(p.windows.downloadWindow->progressValue, 2.0f);
    // 2 full chunks hold 511 bytes (0.499 KB: 0); 3 hold 767 (0.749 KB: 1).
    ASSERT_GE(seen.size(), 7u);
    EXPECT_EQ(seen[4], 0.0f);  // after 2 chunks
    EXPECT_EQ(seen[5], 1.0f);  // after 3 chunks
    EXPECT_EQ(FileBytes(p, kCab), p.transfer.body);
}

// About 136,000 chunks: a buffer that grew by copying itself at every chunk would not finish.
TEST(DownloadWindow, TheWholeRuntimeArrivesInAmortisedTime) {
    FakePlatform p;
    Prepare(p, 34148u * 1024u);
    Download(p);
    EXPECT_TRUE(p.files.files.at(fakes::NormalizePath(kCab)).data == p.transfer.body);
    EXPECT_TRUE(Journaled(p, "shell open " + kMsi));
}

TEST(DownloadWindow, AnEmptyBodyIsNotSaved) {
    FakePlatform p;
    Prepare(p, 0);
    p.files.AddFile(kCab, "earlier download");
    Download(p);
    EXPECT_EQ(p.files.Content(kCab), "earlier download");
    EXPECT_TRUE(p.shell.executed.empty());
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_NE(p.messageBox.shown[0].text.find("The server sent an empty file."), std::string::npos);
    EXPECT_FALSE(p.windows.OpenWindows());
}

TEST(DownloadWindow, ASecondResponseStateDuringTheWaitIsIgnored) {
    FakePlatform p;
    Prepare(p, 700);
    p.transfer.statesOnExecute = {platform::icResponseReceived, platform::icResponseReceived};
    p.transfer.busyPolls = 3;
    DownloadAccessRuntime(p.ctx);
    // The first is dispatched; the second is still queued and arrives inside the first's wait.
    p.windows.onDoEvents = [&](int) {
        if (p.windows.downloadWindow && p.windows.queue.empty() && p.windows.doEventsCalls == 2)
            p.windows.Post([&p] { Window(p).Inet1_StateChanged(platform::icResponseReceived); });
    };
    Pump(p);
    EXPECT_EQ(FileBytes(p, kCab), p.transfer.body);
    EXPECT_EQ(std::count(p.journal.begin(), p.journal.end(), "create " + kCab + ".orvtmp"), 1);
    EXPECT_EQ(std::count(p.journal.begin(), p.journal.end(), "shell open " + kMsi), 1);
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_FALSE(Window(p).Busy());
}

TEST(DownloadWindow, AFinishedResponseWithoutTheReceivedStateIsReadOutAllTheSame) {
    FakePlatform p;
    Prepare(p, 900);
    p.transfer.statesOnExecute = {platform::icConnecting, platform::icResponseCompleted};
    Download(p);
    EXPECT_EQ(FileBytes(p, kCab), p.transfer.body);
    EXPECT_TRUE(Journaled(p, "shell open " + kMsi));
}

// ---------------------------------------------------------------- the user leaves

TEST(DownloadWindow, CancelDuringTheReadOutEndsTheAgentWithNothingSaved) {
    FakePlatform p;
    Prepare(p, 5000);
    DownloadAccessRuntime(p.ctx);
    p.windows.onDoEvents = [&](int n) {
        if (n == 8) p.windows.Post([&p] { Window(p).cmdCancel_Click(); });
    };
    EXPECT_THROW(Pump(p), fakes::ProcessEnded);
    EXPECT_TRUE(p.process.ended);
    EXPECT_GT(p.transfer.control->chunkSizes.size(), 0u);
    ExpectNothingKept(p);
    EXPECT_TRUE(p.messageBox.shown.empty());
    // The request was cancelled before the agent ended.
    const auto cancel = std::find(p.journal.begin(), p.journal.end(), "cancel");
    EXPECT_LT(cancel, std::find(p.journal.begin(), p.journal.end(), "end"));
}

TEST(DownloadWindow, TheCloseBoxStopsTheTransferAndTheRunEndsOfItself) {
    // While waiting for the response, and in the middle of the read-out.
    for (const int closeAt : {2, 6}) {
        FakePlatform p;
        Prepare(p, 5000);
        p.transfer.busyPolls = 2;
        DownloadAccessRuntime(p.ctx);
        std::size_t chunksAtClose = 0;
        p.windows.onDoEvents = [&](int n) {
            if (n != closeAt) return;
            p.windows.Post([&p, &chunksAtClose] {
                chunksAtClose = p.transfer.control->chunkSizes.size();
                p.windows.downloadWindow->events.CloseRequested();
            });
        };
        Pump(p);
        ExpectNothingKept(p);
        EXPECT_FALSE(p.process.ended) << closeAt;
        EXPECT_TRUE(p.messageBox.shown.empty()) << closeAt;
        EXPECT_GE(p.transfer.control->cancels, 1) << closeAt;
        // Not one chunk more is taken once the window is gone.
        EXPECT_EQ(p.transfer.control->chunkSizes.size(), chunksAtClose) << closeAt;
        EXPECT_EQ(Window(p).GetBufferUBound(), -1);
    }
}

TEST(DownloadWindow, TheCloseBoxBeforeAnyResponseLeavesLaterStatesUnanswered) {
    FakePlatform p;
    Prepare(p);
    p.transfer.statesOnExecute.clear();
    DownloadAccessRuntime(p.ctx);
    p.windows.downloadWindow->events.CloseRequested();
    EXPECT_EQ(p.transfer.control->cancels, 1);
    Window(p).Inet1_StateChanged(platform::icResponseReceived);
    Window(p).Inet1_StateChanged(platform::icError);
    Window(p).Timer1_Timer();
    ExpectNothingKept(p);
    EXPECT_TRUE(p.messageBox.shown.empty());
}

// ---------------------------------------------------------------- the timer

TEST(DownloadTimer, FirstTickCalculatesThenIdleTicksShowNothing) {
    FakePlatform p;
    Prepare(p);
    p.transfer.statesOnExecute.clear();
    DownloadAccessRuntime(p.ctx);
    auto& view = *p.windows.downloadWindow;
    auto& w = Window(p);

    p.clock.secondsQueue = {43200.0f, 43200.0f};
    w.Timer1_Timer();
    EXPECT_EQ(view.label2, "0.00 KB @ 0.00 KB/s");
    EXPECT_EQ(view.timeLeft, "Time left: Calculating...");

    p.clock.secondsQueue = {43201.0f, 43201.0f, 43202.0f, 43202.0f};
    w.Timer1_Timer();
    EXPECT_EQ(view.label2, "0.00 KB @ 0.00 KB/s");
    EXPECT_EQ(view.timeLeft, "");
    w.Timer1_Timer();
    EXPECT_EQ(view.timeLeft, "");
}

// Ticks during the read-out: once with nothing held, once after 4100 chunks.
void TickDuringReadOut(FakePlatform& p, float first, float second) {
    Prepare(p, 256 * 5000);
    p.ctx.settings.UnloadWhenDone = false;
    DownloadAccessRuntime(p.ctx);
    p.ctx.settings.UnloadWhenDone = false;
    p.ctx.settings.InstallWhenDone = false;
    p.windows.onDoEvents = [&p, first, second](int n) {
        // The read loop yields before chunk k at call k + 2.
        if (n == 3) {
            p.clock.secondsQueue = {first, first};
            Window(p).Timer1_Timer();
        } else if (n == 4100 + 3) {
            p.clock.secondsQueue = {second, second};
            Window(p).Timer1_Timer();
        }
    };
    Pump(p);
}

TEST(DownloadTimer, AmountRateAndTimeLeftDuringTheReadOut) {
    FakePlatform p;
    TickDuringReadOut(p, 43200.0f, 43202.0f);
    const auto& view = *p.windows.downloadWindow;
    // 4100 chunks: upper index 1049599, 1024.999 KB; 1049600 bytes in 2 s: 512.5 KB/s.
    EXPECT_EQ(view.label2, "1,025.00 KB @ 512.50 KB/s");
    // (34148 - 1024.999) / 512.5 = 64.63 s.
    EXPECT_EQ(view.timeLeft, "Time left: 1min 5secs");
}

TEST(DownloadTimer, AmountsFollowTheUsersLocale) {
    FakePlatform p(fakes::FakeLocale::Kind::CommaDecimal);
    TickDuringReadOut(p, 43200.0f, 43202.0f);
    EXPECT_EQ(p.windows.downloadWindow->label2, "1.025,00 KB @ 512,50 KB/s");
}

TEST(DownloadTimer, ATickAcrossMidnightShowsANegativeRateAndCalculates) {
    FakePlatform p;
    TickDuringReadOut(p, 86399.5f, 0.5f);
    const auto& view = *p.windows.downloadWindow;
    // 1025 KB over -86399 s.
    EXPECT_EQ(view.label2, "1,025.00 KB @ -0.01 KB/s");
    EXPECT_EQ(view.timeLeft, "Time left: Calculating...");
}

TEST(DownloadTimer, ATickWithoutMeasurableTimeChangesNothing) {
    FakePlatform p;
    Prepare(p);
    p.transfer.statesOnExecute.clear();
    DownloadAccessRuntime(p.ctx);
    auto& view = *p.windows.downloadWindow;
    p.clock.secondsQueue = {43200.0f, 43200.0f, 43200.0f, 43201.0f, 43201.0f};
    Window(p).Timer1_Timer();
    view.label2 = "before";
    view.timeLeft = "before";
    Window(p).Timer1_Timer();  // the same instant as the last tick
    EXPECT_EQ(view.label2, "before");
    EXPECT_EQ(view.timeLeft, "before");
    Window(p).Timer1_Timer();  // a second later all is well again
    EXPECT_EQ(view.label2, "0.00 KB @ 0.00 KB/s");
    EXPECT_EQ(view.timeLeft, "");
}

TEST(DownloadTimer, NoSizeMeansNoEstimate) {
    FakePlatform p;
    Prepare(p, 256 * 5000);
    ShowForm(Window(p));
    p.ctx.settings.UnloadWhenDone = false;
    StartDownload(p.ctx, 0, kCab, "http://host/f.cab");
    p.ctx.settings.DownloadSizeKB = 0;
    p.windows.onDoEvents = [&p](int n) {
        if (n == 100) {
            p.clock.secondsQueue = {43200.0f, 43200.0f};
            Window(p).Timer1_Timer();
        }
    };
    Pump(p);
    EXPECT_EQ(p.windows.downloadWindow->timeLeft, "");
    EXPECT_NE(p.windows.downloadWindow->label2.find(" KB @ "), std::string::npos);
}

// ---------------------------------------------------------------- failed transfers

struct FailureCase {
    std::string name;
    std::function<void(FakePlatform&)> arrange;
    std::string reason;  // what the box says about the failure
};

TransferFailure Failure(TransferFailure::Kind kind, std::string text = {}, std::int32_t status = 0) {
    TransferFailure f;
    f.kind = kind;
    f.text = std::move(text);
    f.httpStatus = status;
    return f;
}

TEST(DownloadFailure, AFailedTransferIsNeitherSavedNorInstalledAndSaysWhatFailed) {
    using Kind = TransferFailure::Kind;
    const std::vector<FailureCase> cases = {
        {"name look-up fails before any response",
         [](FakePlatform& p) {
             p.transfer.statesOnExecute = {platform::icHostResolvingHost, platform::icError};
             p.transfer.failure = Failure(Kind::Connection, "The server name could not be resolved.");
         },
         "The server name could not be resolved."},
        {"error state without details while connecting",
         [](FakePlatform& p) { p.transfer.statesOnExecute = {platform::icConnecting, platform::icError}; },
         "The transfer failed."},
        {"connection lost, reported with another state",
         [](FakePlatform& p) {
             p.transfer.statesOnExecute = {platform::icConnecting, platform::icDisconnected};
             p.transfer.failure = Failure(Kind::Connection);
         },
         "The server could not be reached. Please check your Internet connection and try again."},
        {"time-out once the response had begun",
         [](FakePlatform& p) { p.transfer.failure = Failure(Kind::Timeout); },
         "The server did not answer within 60 seconds. Please try again later."},
        {"404", [](FakePlatform& p) { p.transfer.responseCode = 404; }, "The server answered 404 Not Found."},
        {"500", [](FakePlatform& p) { p.transfer.responseCode = 500; },
         "The server answered 500 Internal Server Error."},
        {"199", [](FakePlatform& p) { p.transfer.responseCode = 199; }, "The server answered 199."},
        {"300", [](FakePlatform& p) { p.transfer.responseCode = 300; }, "The server answered 300."},
        {"no status at all", [](FakePlatform& p) { p.transfer.responseCode = 0; },
         "The server did not send a valid answer."},
        {"status with the control's own phrase",
         [](FakePlatform& p) {
             p.transfer.responseCode = 418;
             p.transfer.failure = Failure(Kind::HttpStatus, "The server answered 418 I'm a teapot.", 418);
         },
         "The server answered 418 I'm a teapot."},
        {"status outside the known phrases",
         [](FakePlatform& p) { p.transfer.failure = Failure(Kind::HttpStatus, {}, 418); },
         "The server answered 418."},
        {"body shorter than announced", [](FakePlatform& p) { p.transfer.contentLength = 1100; },
         "The connection was closed before the whole file had arrived (1000 of 1100 bytes)."},
        {"failure noticed during the read-out",
         [](FakePlatform& p) {
             p.windows.onDoEvents = [&p](int n) {
                 if (n == 5) p.transfer.failure = Failure(Kind::Truncated);
             };
         },
         "The connection was closed before the whole file had arrived."},
    };
    for (const auto& c : cases) {
        FakePlatform p;
        Prepare(p, 1000);
        p.files.AddFile(kCab, "earlier download");
        c.arrange(p);
        Download(p);
        ASSERT_EQ(p.messageBox.shown.size(), 1u) << c.name;
        EXPECT_EQ(p.messageBox.shown[0].title, "Whoops!") << c.name;
        EXPECT_EQ(p.messageBox.shown[0].text, "A problem has occured:\r\nThe file could not be downloaded from " +
                                                  p.ctx.settings.DownloadURL + ".\r\n\r\n" + c.reason)
            << c.name;
        EXPECT_EQ(p.files.Content(kCab), "earlier download") << c.name;
        EXPECT_FALSE(p.files.HasFile(kCab + ".orvtmp")) << c.name;
        EXPECT_TRUE(p.shell.executed.empty()) << c.name;
        EXPECT_FALSE(p.windows.OpenWindows()) << c.name;
        EXPECT_FALSE(p.process.ended) << c.name;
        EXPECT_FALSE(Window(p).Busy()) << c.name;
        EXPECT_GE(p.transfer.control ? p.transfer.control->cancels : 1, 1) << c.name;
        // The request was stopped before the user was told.
        EXPECT_LT(std::find(p.journal.begin(), p.journal.end(), "cancel"),
                  std::find(p.journal.begin(), p.journal.end(), "box Whoops!"))
            << c.name;
    }
}

TEST(DownloadFailure, AnErrorPageIsNotEvenReadOut) {
    FakePlatform p;
    Prepare(p, 600);
    p.transfer.responseCode = 404;
    DownloadAccessRuntime(p.ctx);
    std::size_t chunks = 99;
    p.windows.onDoEvents = [&p, &chunks](int) {
        if (p.transfer.control) chunks = p.transfer.control->chunkSizes.size();
    };
    Pump(p);
    EXPECT_EQ(chunks, 0u);
    EXPECT_EQ(p.messageBox.shown.size(), 1u);
}

TEST(DownloadFailure, AMissingRuntimeFolderEndsTheRunWithTheUnhandledErrorBox) {
    FakePlatform p;
    LoadSettings(p.ctx);
    p.transfer.body = Body(1000);
    DownloadAccessRuntime(p.ctx);
    EXPECT_THROW(Pump(p), fakes::ProcessEnded);
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_EQ(p.messageBox.shown[0].text, "Run-time error '76':\r\n\r\nPath not found");
    EXPECT_EQ(p.messageBox.shown[0].title, "Orvastell");
    EXPECT_TRUE(p.shell.executed.empty());
    EXPECT_TRUE(p.files.AllFiles().empty());
    EXPECT_EQ(p.journal.back(), "end");
}

TEST(DownloadFailure, AFailedWriteKeepsTheEarlierCabinetAndLeavesNoTemporaryFile) {
    FakePlatform p;
    Prepare(p, 1000);
    p.files.AddFile(kCab, "earlier download");
    p.files.writeBudget = 600;
    DownloadAccessRuntime(p.ctx);
    EXPECT_THROW(Pump(p), fakes::ProcessEnded);
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_EQ(p.messageBox.shown[0].text, "Run-time error '61':\r\n\r\nDisk full");
    EXPECT_EQ(p.files.Content(kCab), "earlier download");
    EXPECT_FALSE(p.files.HasFile(kCab + ".orvtmp"));
    EXPECT_TRUE(p.shell.executed.empty());
}

TEST(DownloadFailure, AnErrorInTheTimerIsReportedAndEndsTheRun) {
    FakePlatform p;
    Prepare(p);
    p.transfer.statesOnExecute.clear();
    DownloadAccessRuntime(p.ctx);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    p.clock.secondsQueue = {nan, nan};
    EXPECT_THROW(p.windows.downloadWindow->events.Timer1_Timer(), fakes::ProcessEnded);
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_EQ(p.messageBox.shown[0].text, "Run-time error '6':\r\n\r\nOverflow");
    EXPECT_TRUE(p.process.ended);
}

} // namespace
} // namespace orv
