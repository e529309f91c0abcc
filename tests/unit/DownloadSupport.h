// What the download window's tests share: a run prepared for the runtime download, a download
// started by hand, and the check that the server's body was saved.
#pragma once
#include "TestSupport.h"
#include "common/AgentWindow.h"
#include "download/DownloadWindow.h"
#include "download/Internet.h"

namespace orv::test {

// The settings of a run, the runtime folder with its installer package, and the server's body.
inline void Prepare(FakePlatform& p, std::size_t bodySize = 1000) {
    LoadSettings(p.ctx);
    ServeRuntime(p, bodySize);
}

inline void Download(FakePlatform& p) {
    DownloadAccessRuntime(p.ctx);
    Pump(p);
}

// A download started by hand with its own size and flags, as another caller of the window would.
inline void StartByHand(FakePlatform& p, std::int32_t sizeKB, bool unloadWhenDone, bool installWhenDone) {
    ShowForm(TheDownloadWindow(p.ctx));
    p.ctx.settings.UnloadWhenDone = unloadWhenDone;
    p.ctx.settings.InstallWhenDone = installWhenDone;
    StartDownload(p.ctx, sizeKB, kCab, "http://host/f.cab");
}

inline DownloadWindow& Window(FakePlatform& p) { return TheDownloadWindow(p.ctx); }

inline void ExpectSaved(const FakePlatform& p) {
    EXPECT_TRUE(p.files.HasFile(kCab) && Bytes(p.files.Content(kCab)) == p.transfer.body);
}

} // namespace orv::test
