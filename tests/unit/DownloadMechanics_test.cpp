#include <optional>

#include "DownloadSupport.h"

// How the download window goes about its work: the order of its steps, how it takes the body out
// of the control, how often it yields to the event loop, when the bar is given a position, and
// the phases it passes through. A change to the window's lifecycle may break these tests, and
// should break no test in Download_test.cpp, which pins what the user sees, what is written and
// what is started.

namespace orv::test {
namespace {

TEST(DownloadMechanics, CompletionRunsItsStepsInOrder) {
    FakePlatform p;
    Prepare(p, 3000);
    Download(p);
    const std::vector<std::string> expected = {
        "status Download complete.", "cancel", "create cached " + TemporaryOf(kCab), "replace " + kCab,
        "cancel",  // the unload's close request
        "download window destroyed", "shell open " + kMsi,
    };
    ASSERT_GE(p.journal.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(p.journal.end() - static_cast<std::ptrdiff_t>(expected.size()), p.journal.end()),
              expected);
    EXPECT_FALSE(Window(p).Busy());
}

TEST(DownloadMechanics, TheReadLoopTakesChunksOf256WithAYieldBeforeEach) {
    struct Case {
        std::size_t size, chunkCalls;  // GetChunk calls the read loop makes
    };
    const Case cases[] = {
        // A multiple of 256 ends on the empty chunk after the last full one; a shorter body is
        // one short chunk.
        {1280, 6}, {100, 1}, {256, 2}, {257, 2}, {1, 1}, {300, 2}, {900, 4},
        {34148u * 1024u, 34148u * 4u + 1u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        FakePlatform p;
        Prepare(p, c.size);
        p.transfer.contentLength = static_cast<std::int64_t>(c.size);
        Download(p);
        EXPECT_EQ(p.transfer.control->chunkSizes.size(), c.chunkCalls);
    }
    FakePlatform p;
    Prepare(p, 1280);
    DownloadAccessRuntime(p.ctx);
    std::vector<std::size_t> chunksAtYield;
    p.windows.onDoEvents = [&](int) { chunksAtYield.push_back(p.transfer.control->chunkSizes.size()); };
    Pump(p);
    EXPECT_EQ(p.transfer.control->chunkSizes, std::vector<std::size_t>(6, 256));
    // Dispatch, one wait, one yield before each of the six chunks, and a yield that dispatches
    // everything pending before the body counts as read.
    EXPECT_EQ(chunksAtYield, (std::vector<std::size_t>{0, 0, 0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(p.windows.doEventsNowCalls, 1);
}

TEST(DownloadMechanics, TheLastYieldOfTheReadOutDispatchesAClickBeforeTheFileIsSaved) {
    // The yields of the read loop may skip the check of the message queue; the last one may not.
    for (const std::size_t body : {std::size_t{1000}, std::size_t{1024}}) {  // a short last chunk, or an empty one
        SCOPED_TRACE(body);
        FakePlatform p;
        Prepare(p, body);
        bool clicked = false;
        p.windows.onDoEvents = [&](int) {
            if (p.windows.doEventsNowCalls != 1 || clicked) return;
            clicked = true;
            p.windows.Post([&p] { p.windows.downloadWindow->events.OnCancelClicked(); });
        };
        DownloadAccessRuntime(p.ctx);
        EXPECT_THROW(Pump(p), fakes::ProcessEnded);
        EXPECT_EQ(p.process.exitCode, 0u);  // the user's own choice
        EXPECT_TRUE(clicked);
        EXPECT_FALSE(p.files.HasFile(kCab));
        EXPECT_TRUE(p.shell.executed.empty());
    }
}

TEST(DownloadMechanics, TheBarIsGivenItsPositionAfterEachFullChunk) {
    FakePlatform p;
    Prepare(p, 8 * 1024 + 256);
    StartByHand(p, 5, false, false);
    std::vector<float> seen;
    p.windows.onDoEvents = [&](int) { seen.push_back(p.windows.downloadWindow->progressValue); };
    Pump(p);
    // 2 full chunks hold 511 bytes (0.499 KB: 0); 3 hold 767 (0.749 KB: 1).
    ASSERT_GE(seen.size(), 7u);
    EXPECT_EQ(seen[4], 0.0f);
    EXPECT_EQ(seen[5], 1.0f);
}

TEST(DownloadMechanics, ThePhaseFollowsTheRequestFromLoadToClose) {
    FakePlatform p;
    Prepare(p, 600);
    EXPECT_EQ(Window(p).Phase(), DownloadPhase::Closed);
    ShowForm(Window(p));
    EXPECT_EQ(Window(p).Phase(), DownloadPhase::Idle);
    std::vector<DownloadPhase> seen;  // at the yields, each phase once
    p.windows.onDoEvents = [&](int) {
        if (seen.empty() || seen.back() != Window(p).Phase()) seen.push_back(Window(p).Phase());
    };
    StartByHand(p, 10, false, false);
    Pump(p);
    EXPECT_EQ(seen, (std::vector<DownloadPhase>{DownloadPhase::Connecting, DownloadPhase::Receiving,
                                                DownloadPhase::ReadingOut}));
    EXPECT_EQ(Window(p).Phase(), DownloadPhase::Saved);
    Window(p).Unload();
    EXPECT_EQ(Window(p).Phase(), DownloadPhase::Closed);

    // A failed request, or a body that could not be written, is Failed while the user reads why,
    // never Saved; the window closes after a failed request, the write's error ends the run.
    for (const bool writeFails : {false, true}) {
        SCOPED_TRACE(writeFails ? "the write fails" : "the request fails");
        FakePlatform failed;
        Prepare(failed);
        if (writeFails) failed.files.writeBudget = 10;
        else failed.transfer.responseCode = 404;
        std::optional<DownloadPhase> duringTheBox;
        failed.messageBox.onShow = [&](const auto&) { duringTheBox = Window(failed).Phase(); };
        if (writeFails) EXPECT_THROW(Download(failed), fakes::ProcessEnded);
        else Download(failed);
        EXPECT_EQ(duringTheBox, DownloadPhase::Failed);
        EXPECT_EQ(Window(failed).Phase(), writeFails ? DownloadPhase::Failed : DownloadPhase::Closed);
    }
}

} // namespace
} // namespace orv::test
