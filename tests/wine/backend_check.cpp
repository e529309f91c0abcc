// Checks of the real windows and the real transfer control, run under Wine by run_all.sh.
//   backend_check.exe [GoogleTest options] <http-port-of-the-proxy> <a-port-nothing-listens-on>
// The prefix's WinINet proxy points at the test server, so the made-up host below is reached
// only if the system proxy setting is honoured.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Error.h"
#include "win32/Win32Api.h"
#include "win32/Win32Transfer.h"
#include "win32/Win32WindowToolkit.h"

namespace {

namespace platform = orv::platform;
namespace win32 = orv::win32;
using Kind = platform::TransferFailure::Kind;

const std::string kBase = "http://orvastell.test/_mode/";
int g_deadPort = 0;  // a port of this machine that nothing listens on

// Pumps the thread's messages until `done` holds or `ms` milliseconds have passed.
bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    while (!done()) {
        if (::GetTickCount64() >= end) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        win32::RaisePendingHandlerError();
    }
    return true;
}

void PumpFor(DWORD ms) { PumpUntil([] { return false; }, ms); }

// The body the test server sends for a size: byte i is i % 251.
std::vector<std::uint8_t> ServedBody(std::size_t size) {
    std::vector<std::uint8_t> body(size);
    for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<std::uint8_t>(i % 251);
    return body;
}

// ------------------------------------------------------------------ windows

struct WindowEvents : platform::DownloadWindowEvents {
    int ticks = 0, cancels = 0, closes = 0;
    std::function<void()> onTick;
    void OnTick() override {
        ++ticks;
        if (onTick) onTick();
    }
    void OnCancelClicked() override { ++cancels; }
    void OnCloseRequested() override { ++closes; }
};

struct Found {
    const char* cls;
    HWND window = nullptr;
};

BOOL CALLBACK FindThreadWindow(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<Found*>(param);
    char cls[64];
    ::GetClassNameA(window, cls, sizeof cls);
    if (std::strcmp(cls, found->cls) == 0) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND ThreadWindow(const char* cls) {
    Found found{cls};
    ::EnumThreadWindows(::GetCurrentThreadId(), FindThreadWindow, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

int Px(int twips, HWND window) {
    HDC dc = ::GetDC(window);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
    ::ReleaseDC(window, dc);
    return ::MulDiv(twips, dpi, 1440);
}

RECT ChildRect(HWND parent, HWND child) {
    RECT rc;
    ::GetWindowRect(child, &rc);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

void ExpectTwipRect(const char* what, HWND parent, HWND child, int l, int t, int w, int h) {
    SCOPED_TRACE(what);
    const RECT rc = ChildRect(parent, child);
    EXPECT_EQ(rc.left, Px(l, parent));
    EXPECT_EQ(rc.top, Px(t, parent));
    EXPECT_EQ(rc.right - rc.left, Px(w, parent));
    EXPECT_EQ(rc.bottom - rc.top, Px(h, parent));
}

std::string Text(HWND window) {
    char text[512] = "";
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

// A download window just made and shown, with its controls.
class DownloadWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(windows.AnyWindowOpen());
        view = windows.CreateDownloadWindow(events);
        EXPECT_TRUE(windows.AnyWindowOpen());
        form = ThreadWindow("OrvastellDownloadForm");
        ASSERT_NE(form, nullptr);
        // Made hidden; shown when the core says so.
        EXPECT_FALSE(view->Visible());
        view->Show();
        EXPECT_TRUE(view->Visible());
        label1 = ::GetDlgItem(form, 101);
        bar = ::GetDlgItem(form, 102);
        timeLeft = ::GetDlgItem(form, 103);
        label2 = ::GetDlgItem(form, 104);
        cancel = ::GetDlgItem(form, 105);
        ASSERT_TRUE(label1 && bar && timeLeft && label2 && cancel);
    }
    // A handler's error left waiting would be raised into the next test.
    void TearDown() override { EXPECT_NO_THROW(win32::RaisePendingHandlerError()); }

    LRESULT BarPosition() const { return ::SendMessageA(bar, PBM_GETPOS, 0, 0); }

    win32::Win32WindowToolkit windows;
    WindowEvents events;
    std::unique_ptr<platform::DownloadWindowView> view;
    HWND form = nullptr, label1 = nullptr, bar = nullptr, timeLeft = nullptr, label2 = nullptr, cancel = nullptr;
};

TEST_F(DownloadWindow, FrameHasACloseBoxAndNoTaskbarButton) {
    EXPECT_EQ(Text(form), "File download");
    const LONG_PTR style = ::GetWindowLongPtrA(form, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_NE(style & WS_SYSMENU, 0);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    // No taskbar button: owned by a window that is never shown.
    HWND owner = ::GetWindow(form, GW_OWNER);
    EXPECT_TRUE(owner != nullptr && !::IsWindowVisible(owner));
    RECT client;
    ::GetClientRect(form, &client);
    EXPECT_EQ(client.right, Px(6705, form));
    EXPECT_EQ(client.bottom, Px(1770, form));
}

TEST_F(DownloadWindow, ControlsSitWhereTheDesignPutsThem) {
    ExpectTwipRect("status", form, label1, 120, 120, 6435, 495);
    ExpectTwipRect("bar", form, bar, 0, 600, 6615, 255);
    ExpectTwipRect("time left", form, timeLeft, 0, 960, 3015, 255);
    ExpectTwipRect("amount", form, label2, 3120, 960, 3495, 255);
    ExpectTwipRect("cancel", form, cancel, 5520, 1320, 1095, 375);
    EXPECT_EQ(::GetWindowLongPtrA(label2, GWL_STYLE) & SS_TYPEMASK, SS_RIGHT);
    EXPECT_EQ(::GetWindowLongPtrA(timeLeft, GWL_STYLE) & SS_TYPEMASK, SS_LEFT);
    EXPECT_EQ(Text(cancel), "Cancel");
    char cls[64];
    ::GetClassNameA(bar, cls, sizeof cls);
    EXPECT_STREQ(cls, PROGRESS_CLASSA);
}

TEST_F(DownloadWindow, SettersShowTheirTexts) {
    view->SetCaption("File download - Microsoft Access 2003 Runtime");
    EXPECT_EQ(Text(form), "File download - Microsoft Access 2003 Runtime");
    view->SetStatus("Downloading file:\r\nhttp://example/x");
    EXPECT_EQ(Text(label1), "Downloading file:\r\nhttp://example/x");
    view->SetAmount("1,234.57 KB @ 98.76 KB/s");
    EXPECT_EQ(Text(label2), "1,234.57 KB @ 98.76 KB/s");
    view->SetTimeLeft("Time left: 3mins 20secs");
    EXPECT_EQ(Text(timeLeft), "Time left: 3mins 20secs");
}

TEST_F(DownloadWindow, BarShowsTheLatestPositionSoonAndEitherEndAtOnce) {
    view->SetProgressMax(34148.0f);
    view->SetProgressValue(17074.4f);
    EXPECT_EQ(::SendMessageA(bar, PBM_GETRANGE, TRUE, 0), 0);  // the design's minimum
    EXPECT_EQ(::SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 34148);
    EXPECT_TRUE(PumpUntil([&] { return BarPosition() == 17074; }, 1000)) << BarPosition();
    // Positions that come faster than the bar is repainted: the latest is shown soon after,
    // without anything else happening; either end at once.
    view->SetProgressValue(20000.0f);
    view->SetProgressValue(25000.0f);
    EXPECT_TRUE(PumpUntil([&] { return BarPosition() == 25000; }, 1000)) << BarPosition();
    view->SetProgressValue(26000.0f);
    view->SetProgressValue(34148.0f);
    EXPECT_EQ(BarPosition(), 34148);
    view->SetProgressValue(17074.4f);
    EXPECT_TRUE(PumpUntil([&] { return BarPosition() == 17074; }, 1000)) << BarPosition();
}

TEST_F(DownloadWindow, TimerTicksOnceASecondFromCreation) {
    const ULONGLONG start = ::GetTickCount64();
    ASSERT_TRUE(PumpUntil([&] { return events.ticks >= 2; }, 4000));
    const ULONGLONG took = ::GetTickCount64() - start;
    EXPECT_GE(took, 800u);
    EXPECT_LT(took, 3500u);
}

// The close box asks the core; the window stays until the core destroys it.
TEST_F(DownloadWindow, CloseBoxAndCancelAskTheCore) {
    ::SendMessageA(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(events.closes, 1);
    EXPECT_TRUE(::IsWindow(form));
    ::SendMessageA(form, WM_COMMAND, MAKEWPARAM(105, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    EXPECT_EQ(events.cancels, 1);
}

// DoEvents dispatches what is waiting and returns (once the clock has moved on since its last
// look); DoEventsNow always looks.
TEST_F(DownloadWindow, DoEventsDispatchesWhatIsWaiting) {
    ::PostMessageA(form, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] {
        windows.DoEvents();
        return events.closes == 1;
    }, 1000));
    windows.DoEventsNow();
    ::PostMessageA(form, WM_CLOSE, 0, 0);
    windows.DoEventsNow();
    EXPECT_EQ(events.closes, 2);
}

// An error in a handler comes out of the next DoEvents, not through the system's frames.
TEST_F(DownloadWindow, HandlersErrorComesOutOfTheNextDoEvents) {
    events.onTick = [] { throw orv::AgentError(76, "Path not found"); };
    int raised = 0;
    const ULONGLONG end = ::GetTickCount64() + 3000;
    while (raised == 0 && ::GetTickCount64() < end) {
        try {
            windows.DoEvents();
        } catch (const orv::AgentError& e) {
            raised = e.Number();
        }
        ::Sleep(10);
    }
    EXPECT_EQ(raised, 76);
    events.onTick = nullptr;
}

// Moved to a monitor of 144 DPI: the same design at one and a half times the size.
TEST_F(DownloadWindow, MovedTo144DpiShowsTheDesignAtThatSize) {
    view->SetAmount("1,234.57 KB @ 98.76 KB/s");
    RECT suggested{20, 20, 720, 320};
    ::SendMessageA(form, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT client;
    ::GetClientRect(form, &client);
    EXPECT_EQ(client.right, ::MulDiv(6705, 144, 1440));
    EXPECT_EQ(client.bottom, ::MulDiv(1770, 144, 1440));
    const RECT cancelAt144 = ChildRect(form, cancel);
    EXPECT_EQ(cancelAt144.left, ::MulDiv(5520, 144, 1440));
    EXPECT_EQ(cancelAt144.top, ::MulDiv(1320, 144, 1440));
    EXPECT_EQ(cancelAt144.right - cancelAt144.left, ::MulDiv(1095, 144, 1440));
    EXPECT_EQ(Text(label2), "1,234.57 KB @ 98.76 KB/s");
}

TEST_F(DownloadWindow, DestroyEndsTheWindowAndItsTicks) {
    const int ticks = events.ticks;
    view->Destroy();
    EXPECT_FALSE(::IsWindow(form));
    EXPECT_FALSE(windows.AnyWindowOpen());
    view->SetStatus("after");  // harmless once destroyed
    PumpFor(1300);
    EXPECT_EQ(events.ticks, ticks);
}

// The update window, made and shown.
class UpdateWindow : public ::testing::Test {
protected:
    void SetUp() override {
        view = windows.CreateUpdateWindow();
        form = ThreadWindow("OrvastellUpdateForm");
        ASSERT_NE(form, nullptr);
        view->Show();
        view->Refresh();
    }

    win32::Win32WindowToolkit windows;
    std::unique_ptr<platform::UpdateWindowView> view;
    HWND form = nullptr;
};

TEST_F(UpdateWindow, IsCentredWithATaskbarButtonOfItsOwn) {
    EXPECT_EQ(Text(form), "Automatic Update");
    EXPECT_EQ(::GetWindow(form, GW_OWNER), nullptr);
    const LONG_PTR style = ::GetWindowLongPtrA(form, GWL_STYLE);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    RECT client, rc;
    ::GetClientRect(form, &client);
    EXPECT_EQ(client.right, Px(6690, form));
    EXPECT_EQ(client.bottom, Px(1845, form));
    ::GetWindowRect(form, &rc);
    const int sx = ::GetSystemMetrics(SM_CXSCREEN), sy = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_LE(std::abs((rc.left + rc.right) / 2 - sx / 2), 1);
    EXPECT_LE(std::abs((rc.top + rc.bottom) / 2 - sy / 2), 1);
}

TEST_F(UpdateWindow, LabelIsCentredIn18PointType) {
    HWND label = ::GetDlgItem(form, 106);
    ASSERT_NE(label, nullptr);
    ExpectTwipRect("label", form, label, 720, 480, 5175, 975);
    EXPECT_EQ(Text(label), "Running automatic update. Please wait...");
    EXPECT_EQ(::GetWindowLongPtrA(label, GWL_STYLE) & SS_TYPEMASK, SS_CENTER);
    // MS Sans Serif, or its scalable successor where the bitmap font lacks the size; either way
    // the characters are 18 points high.
    HFONT labelFont = reinterpret_cast<HFONT>(::SendMessageA(label, WM_GETFONT, 0, 0));
    LOGFONTA font{};
    ::GetObjectA(labelFont, sizeof font, &font);
    EXPECT_TRUE(std::strcmp(font.lfFaceName, "MS Sans Serif") == 0 ||
                std::strcmp(font.lfFaceName, "Microsoft Sans Serif") == 0)
        << font.lfFaceName;
    EXPECT_EQ(font.lfHeight, -::MulDiv(18, Px(1440, form), 72));
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    EXPECT_FALSE(font.lfItalic);
    HDC dc = ::GetDC(label);
    HGDIOBJ old = ::SelectObject(dc, labelFont);
    TEXTMETRICA tm{};
    ::GetTextMetricsA(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(label, dc);
    EXPECT_LE(std::abs((tm.tmHeight - tm.tmInternalLeading) - ::MulDiv(18, Px(1440, form), 72)), 2)
        << font.lfFaceName << ": " << tm.tmHeight - tm.tmInternalLeading << " px characters";
}

// Closed by the user while shown (a box of the copy may pump messages): the core's unload then
// finds nothing to destroy.
TEST_F(UpdateWindow, ClosedByTheUserLeavesNothingToDestroy) {
    ::SendMessageA(form, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(form));
    EXPECT_FALSE(windows.AnyWindowOpen());
    view->Destroy();
}

TEST(MessageLoop, EndsWhenTheLastWindowGoes) {
    win32::Win32WindowToolkit windows;
    WindowEvents events;
    std::unique_ptr<platform::DownloadWindowView> view = windows.CreateDownloadWindow(events);
    view->Show();
    events.onTick = [&] { view->Destroy(); };
    const ULONGLONG start = ::GetTickCount64();
    windows.PumpUntilNoWindows();
    EXPECT_FALSE(windows.AnyWindowOpen());
    EXPECT_LT(::GetTickCount64() - start, 3000u);
}

TEST(MessageLoop, ErrorEscapingAHandlerEndsItAndReachesTheCaller) {
    win32::Win32WindowToolkit windows;
    WindowEvents events;
    auto view = windows.CreateDownloadWindow(events);
    events.onTick = [] { throw orv::AgentError(61, "Disk full"); };
    int raised = 0;
    try {
        windows.PumpUntilNoWindows();
    } catch (const orv::AgentError& e) {
        raised = e.Number();
    }
    EXPECT_EQ(raised, 61);
    view->Destroy();
}

// ------------------------------------------------------------------ transfer control

struct Recorder : platform::TransferEvents {
    std::vector<std::int16_t> states;
    std::function<void(std::int16_t)> onState;
    void OnTransferStateChanged(std::int16_t state) override {
        states.push_back(state);
        if (onState) onState(state);
    }
    bool Ended() const {
        return !states.empty() &&
               (states.back() == platform::icResponseCompleted || states.back() == platform::icError);
    }
    bool Has(std::int16_t s) const {
        for (auto x : states)
            if (x == s) return true;
        return false;
    }
};

// The whole body, read out in chunks of `chunk` bytes from the blocks the control hands over,
// with the chunks shorter than asked and the blocks handed over counted.
std::vector<std::uint8_t> ReadOut(platform::TransferControl& inet, std::size_t chunk, std::size_t* shortChunks,
                                  std::size_t* blocks) {
    std::vector<std::uint8_t> got;
    platform::BodyBlock current, next;
    std::size_t used = 0;  // bytes of `current` taken
    for (;;) {
        const std::size_t n = inet.GetChunk(chunk, next);
        if (n == 0) return got;
        if (n < chunk) ++*shortChunks;
        if (next) {
            ++*blocks;
            current = std::move(next);
            used = 0;
        }
        EXPECT_TRUE(current && used + n <= platform::kBodyBlockSize)
            << "a chunk beyond the blocks handed over, at byte " << got.size();
        if (!current || used + n > platform::kBodyBlockSize) return got;
        got.insert(got.end(), current.get() + used, current.get() + used + n);
        used += n;
    }
}

// One transfer control and the events it has raised.
class Transfer : public ::testing::Test {
protected:
    bool RunsToItsEnd(DWORD ms) { return PumpUntil([&] { return events.Ended(); }, ms); }

    win32::Win32TransferFactory factory;
    Recorder events;
    std::unique_ptr<platform::TransferControl> inet = factory.CreateTransferControl(events);
};

// 200 with a Content-Length, read out in 256-byte chunks.
TEST_F(Transfer, SuccessfulGetIsReadOutInChunks) {
    inet->SetRequestTimeout(20);
    const std::string url = kBase + "normal/300001/ACCESSRT.CAB";
    inet->Execute(url, "GET");
    EXPECT_EQ(inet->URL(), url);
    ASSERT_TRUE(RunsToItsEnd(20000));
    EXPECT_FALSE(inet->StillExecuting());
    EXPECT_EQ(events.states.back(), platform::icResponseCompleted);
    // State 8 comes once and before the end; any earlier state is one of the early ones.
    int eights = 0;
    bool earlyOk = true, seenEight = false;
    for (auto s : events.states) {
        if (s == platform::icResponseReceived) {
            ++eights;
            seenEight = true;
        } else if (!seenEight && (s < platform::icHostResolvingHost || s > platform::icReceivingResponse)) {
            earlyOk = false;
        }
    }
    EXPECT_EQ(eights, 1) << ::testing::PrintToString(events.states);
    EXPECT_TRUE(earlyOk) << ::testing::PrintToString(events.states);
    EXPECT_EQ(inet->ResponseCode(), 200);
    EXPECT_EQ(inet->ContentLength(), 300001);
    EXPECT_EQ(inet->Failure().kind, Kind::None);
    std::size_t shortChunks = 0, blocks = 0;
    const std::vector<std::uint8_t> got = ReadOut(*inet, 256, &shortChunks, &blocks);
    EXPECT_TRUE(got == ServedBody(300001)) << got.size() << " bytes read";
    EXPECT_EQ(shortChunks, 1u);  // 300001 = 1171 * 256 + 225
    EXPECT_EQ(blocks, 5u);       // four of 64 KB and the rest: each handed over once
    platform::BodyBlock block;
    EXPECT_EQ(inet->GetChunk(256, block), 0u);
    EXPECT_FALSE(block);
}

TEST_F(Transfer, NotFoundIsAFailureWithItsStatus) {
    inet->SetRequestTimeout(20);
    inet->Execute(kBase + "404/0/ACCESSRT.CAB", "GET");
    ASSERT_TRUE(RunsToItsEnd(20000));
    EXPECT_TRUE(events.Has(platform::icResponseReceived));
    EXPECT_EQ(events.states.back(), platform::icError);
    EXPECT_EQ(inet->ResponseCode(), 404);
    const auto failure = inet->Failure();
    EXPECT_EQ(failure.kind, Kind::HttpStatus);
    EXPECT_EQ(failure.httpStatus, 404);
}

TEST_F(Transfer, BodyShorterThanItsContentLengthIsAFailure) {
    inet->SetRequestTimeout(20);
    inet->Execute(kBase + "truncated/200000/ACCESSRT.CAB", "GET");
    ASSERT_TRUE(RunsToItsEnd(25000));
    EXPECT_EQ(events.states.back(), platform::icError);
    EXPECT_EQ(inet->ContentLength(), 200000);
    const auto failure = inet->Failure();
    EXPECT_EQ(failure.kind, Kind::Truncated);
    EXPECT_EQ(failure.announced, 200000);
    EXPECT_GE(failure.received, 0);
    EXPECT_LT(failure.received, 200000);
}

TEST_F(Transfer, ServerThatNeverAnswersTimesOutAfterRequestTimeout) {
    inet->SetRequestTimeout(2);
    const ULONGLONG start = ::GetTickCount64();
    inet->Execute(kBase + "stall/0/ACCESSRT.CAB", "GET");
    EXPECT_TRUE(inet->StillExecuting());
    ASSERT_TRUE(RunsToItsEnd(30000));
    const ULONGLONG took = ::GetTickCount64() - start;
    EXPECT_GE(took, 1500u);
    EXPECT_LT(took, 15000u);
    EXPECT_EQ(events.states.back(), platform::icError);
    EXPECT_FALSE(events.Has(platform::icResponseReceived));
    EXPECT_EQ(inet->Failure().kind, Kind::Timeout) << "system error " << inet->Failure().systemError;
    EXPECT_FALSE(inet->StillExecuting());
}

TEST_F(Transfer, CancelReturnsAtOnceAndNoEventFollowsIt) {
    inet->SetRequestTimeout(30);
    inet->Execute(kBase + "stall/0/ACCESSRT.CAB", "GET");
    PumpFor(700);
    const ULONGLONG start = ::GetTickCount64();
    inet->Cancel();
    EXPECT_LT(::GetTickCount64() - start, 500u);
    EXPECT_FALSE(inet->StillExecuting());
    const std::size_t before = events.states.size();
    PumpFor(700);
    EXPECT_EQ(events.states.size(), before);
    platform::BodyBlock block;
    EXPECT_EQ(inet->GetChunk(256, block), 0u);
}

// Destroyed inside its own state-8 event, mid-body.
TEST_F(Transfer, DestroyedFromItsOwnEventRaisesNoFurtherEvents) {
    events.onState = [&](std::int16_t s) {
        if (s == platform::icResponseReceived) inet.reset();
    };
    inet->SetRequestTimeout(30);
    inet->Execute(kBase + "slow/400000/ACCESSRT.CAB", "GET");
    ASSERT_TRUE(PumpUntil([&] { return !inet; }, 20000));
    const std::size_t before = events.states.size();
    PumpFor(1000);  // late messages of the worker must go nowhere
    EXPECT_EQ(events.states.size(), before);
}

TEST_F(Transfer, SecondExecuteDropsTheFirstRequestsEvents) {
    // The first request runs on the thread made ready beforehand, the second on one of its own.
    factory.Prepare();
    inet->SetRequestTimeout(30);
    inet->Execute(kBase + "stall/0/first", "GET");
    PumpFor(300);
    events.states.clear();
    inet->Execute(kBase + "normal/1000/second", "GET");
    ASSERT_TRUE(RunsToItsEnd(20000));
    EXPECT_EQ(events.states.back(), platform::icResponseCompleted);
    EXPECT_EQ(inet->URL(), kBase + "normal/1000/second");
    platform::BodyBlock block;
    EXPECT_EQ(inet->GetChunk(5000, block), 1000u);
    EXPECT_TRUE(block != nullptr);
}

// Points the current user's proxy setting somewhere else while it lives, and puts the old one
// back however the test ends.
class ProxySettingSwap {
public:
    explicit ProxySettingSwap(const std::string& proxy) {
        const char* path = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
        openResult = ::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_);
        if (openResult != ERROR_SUCCESS) return;
        DWORD size = sizeof saved_ - 1;
        ::RegQueryValueExA(key_, "ProxyServer", nullptr, nullptr, reinterpret_cast<BYTE*>(saved_), &size);
        setResult = ::RegSetValueExA(key_, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(proxy.c_str()),
                                static_cast<DWORD>(proxy.size() + 1));
    }
    ~ProxySettingSwap() {
        if (openResult != ERROR_SUCCESS) return;
        ::RegSetValueExA(key_, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_),
                         static_cast<DWORD>(std::strlen(saved_) + 1));
        ::RegCloseKey(key_);
    }
    ProxySettingSwap(const ProxySettingSwap&) = delete;
    ProxySettingSwap& operator=(const ProxySettingSwap&) = delete;

    LONG openResult = ERROR_INVALID_FUNCTION;  // the result of opening the key
    LONG setResult = ERROR_INVALID_FUNCTION;  // the result of writing the new setting

private:
    HKEY key_ = nullptr;
    char saved_[256] = "";
};

// Nothing listening where the proxy should be: the control is made after the setting changed.
TEST(TransferThroughProxy, NothingListeningIsAConnectionFailure) {
    const ProxySettingSwap dead("127.0.0.1:" + std::to_string(g_deadPort));
    ASSERT_EQ(dead.openResult, ERROR_SUCCESS);
    ASSERT_EQ(dead.setResult, ERROR_SUCCESS);
    win32::Win32TransferFactory factory;
    Recorder events;
    auto inet = factory.CreateTransferControl(events);
    inet->SetRequestTimeout(10);
    inet->Execute(kBase + "normal/10/x", "GET");
    ASSERT_TRUE(PumpUntil([&] { return events.Ended(); }, 30000));
    EXPECT_EQ(events.states.back(), platform::icError);
    EXPECT_FALSE(events.Has(platform::icResponseReceived));
    EXPECT_EQ(inet->Failure().kind, Kind::CannotConnect) << "system error " << inet->Failure().systemError;
}

// A TCP port: 1 to 65535, in decimal digits only.
int Port(const char* text) {
    char* end = nullptr;
    errno = 0;
    const long port = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || port < 1 || port > 65535) return 0;
    return static_cast<int>(port);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);  // takes out the options it knows
    if (argc != 3 || Port(argv[1]) == 0 || Port(argv[2]) == 0) {
        std::printf("usage: backend_check [GoogleTest options] <proxy-port> <a-port-nothing-listens-on>\n");
        return 2;
    }
    g_deadPort = Port(argv[2]);
    ::SetProcessDPIAware();
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    return RUN_ALL_TESTS();
}
