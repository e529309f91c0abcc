// Checks of the real windows and the real transfer control, run under Wine by run_all.sh.
//   backend_check.exe <http-port-of-the-proxy>
// The prefix's WinINet proxy points at the test server, so the made-up host below is reached
// only if the system proxy setting is honoured.
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

using namespace orv;

namespace {

int g_failures = 0;
int g_checks = 0;

#define CHECK(cond)                                                                   \
    do {                                                                              \
        ++g_checks;                                                                   \
        if (!(cond)) {                                                                \
            ++g_failures;                                                             \
            std::printf("FAIL %s:%d: %s\n", __FILE__, __LINE__, #cond);               \
        }                                                                             \
    } while (0)

#define CHECK_EQ(a, b)                                                                          \
    do {                                                                                        \
        ++g_checks;                                                                             \
        const auto va = (a);                                                                    \
        const auto vb = (b);                                                                    \
        if (!(va == vb)) {                                                                      \
            ++g_failures;                                                                       \
            std::printf("FAIL %s:%d: %s == %s (%lld vs %lld)\n", __FILE__, __LINE__, #a, #b,    \
                        static_cast<long long>(va), static_cast<long long>(vb));                \
        }                                                                                       \
    } while (0)

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

std::vector<std::uint8_t> TestBody(std::size_t size) {
    std::vector<std::uint8_t> body(size);
    for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<std::uint8_t>(i % 251);
    return body;
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
        return !states.empty() && (states.back() == platform::icResponseCompleted || states.back() == platform::icError);
    }
    bool Has(std::int16_t s) const {
        for (auto x : states)
            if (x == s) return true;
        return false;
    }
};

std::string g_base;  // http://orvastell.test/_mode/

void TransferSuccessfulGet() {
    std::printf("transfer: 200 with Content-Length, read out in 256-byte chunks\n");
    win32::Win32TransferFactory factory;
    Recorder events;
    auto inet = factory.CreateTransferControl(events);
    inet->SetRequestTimeout(20);
    const std::string url = g_base + "normal/300001/ACCESSRT.CAB";
    inet->Execute(url, "GET");
    CHECK(inet->URL() == url);
    CHECK(PumpUntil([&] { return events.Ended(); }, 20000));
    CHECK(!inet->StillExecuting());
    CHECK_EQ(events.states.back(), platform::icResponseCompleted);
    // State 8 comes once and before the end; any earlier state is one of the early ones.
    int eights = 0;
    bool earlyOk = true, seenEight = false;
    for (auto s : events.states) {
        if (s == platform::icResponseReceived) ++eights, seenEight = true;
        else if (!seenEight && (s < platform::icHostResolvingHost || s > platform::icReceivingResponse)) earlyOk = false;
    }
    CHECK_EQ(eights, 1);
    CHECK(earlyOk);
    CHECK_EQ(inet->ResponseCode(), 200);
    CHECK_EQ(inet->ContentLength(), 300001);
    CHECK(inet->Failure().kind == platform::TransferFailure::Kind::None);
    std::vector<std::uint8_t> got;
    std::size_t shortChunks = 0;
    std::uint8_t chunk[256];
    for (;;) {
        const std::size_t n = inet->GetChunk(chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 256) ++shortChunks;
        got.insert(got.end(), chunk, chunk + n);
    }
    CHECK(got == TestBody(300001));
    CHECK_EQ(shortChunks, 1u);  // 300001 = 1171 * 256 + 225
    CHECK_EQ(inet->GetChunk(chunk, sizeof chunk), 0u);
}

void TransferBadStatus() {
    std::printf("transfer: 404 is a failure with its status number\n");
    win32::Win32TransferFactory factory;
    Recorder events;
    auto inet = factory.CreateTransferControl(events);
    inet->SetRequestTimeout(20);
    inet->Execute(g_base + "404/0/ACCESSRT.CAB", "GET");
    CHECK(PumpUntil([&] { return events.Ended(); }, 20000));
    CHECK(events.Has(platform::icResponseReceived));
    CHECK_EQ(events.states.back(), platform::icError);
    CHECK_EQ(inet->ResponseCode(), 404);
    const auto failure = inet->Failure();
    CHECK(failure.kind == platform::TransferFailure::Kind::HttpStatus);
    CHECK_EQ(failure.httpStatus, 404);
}

void TransferTruncated() {
    std::printf("transfer: a body shorter than its Content-Length is a failure\n");
    win32::Win32TransferFactory factory;
    Recorder events;
    auto inet = factory.CreateTransferControl(events);
    inet->SetRequestTimeout(20);
    inet->Execute(g_base + "truncated/200000/ACCESSRT.CAB", "GET");
    CHECK(PumpUntil([&] { return events.Ended(); }, 25000));
    CHECK_EQ(events.states.back(), platform::icError);
    CHECK_EQ(inet->ContentLength(), 200000);
    const auto failure = inet->Failure();
    CHECK(failure.kind == platform::TransferFailure::Kind::Truncated);
    CHECK_EQ(failure.announced, 200000);
    CHECK(failure.received >= 0 && failure.received < 200000);
    std::printf("  (%lld of %lld bytes)\n", static_cast<long long>(failure.received),
                static_cast<long long>(failure.announced));
}

void TransferStallTimesOut() {
    std::printf("transfer: a server that never answers times out after RequestTimeout\n");
    win32::Win32TransferFactory factory;
    Recorder events;
    auto inet = factory.CreateTransferControl(events);
    inet->SetRequestTimeout(2);
    const ULONGLONG start = ::GetTickCount64();
    inet->Execute(g_base + "stall/0/ACCESSRT.CAB", "GET");
    CHECK(inet->StillExecuting());
    CHECK(PumpUntil([&] { return events.Ended(); }, 30000));
    const ULONGLONG took = ::GetTickCount64() - start;
    std::printf("  (took %llu ms: error %lu)\n", took, static_cast<unsigned long>(inet->Failure().systemError));
    CHECK(took >= 1500 && took < 15000);
    CHECK_EQ(events.states.back(), platform::icError);
    CHECK(!events.Has(platform::icResponseReceived));
    CHECK(inet->Failure().kind == platform::TransferFailure::Kind::Timeout);
    CHECK(!inet->StillExecuting());
}

void TransferCancelWhileStalled() {
    std::printf("transfer: Cancel returns at once and no event follows it\n");
    win32::Win32TransferFactory factory;
    Recorder events;
    auto inet = factory.CreateTransferControl(events);
    inet->SetRequestTimeout(30);
    inet->Execute(g_base + "stall/0/ACCESSRT.CAB", "GET");
    PumpUntil([] { return false; }, 700);
    const ULONGLONG start = ::GetTickCount64();
    inet->Cancel();
    CHECK(::GetTickCount64() - start < 500);
    CHECK(!inet->StillExecuting());
    const std::size_t before = events.states.size();
    PumpUntil([] { return false; }, 700);
    CHECK_EQ(events.states.size(), before);
    std::uint8_t chunk[256];
    CHECK_EQ(inet->GetChunk(chunk, sizeof chunk), 0u);
}

void TransferDestroyedFromItsOwnEvent() {
    std::printf("transfer: the control destroyed inside its own state-8 event, mid-body\n");
    win32::Win32TransferFactory factory;
    Recorder events;
    auto inet = factory.CreateTransferControl(events);
    events.onState = [&](std::int16_t s) {
        if (s == platform::icResponseReceived) inet.reset();
    };
    inet->SetRequestTimeout(30);
    inet->Execute(g_base + "slow/400000/ACCESSRT.CAB", "GET");
    CHECK(PumpUntil([&] { return !inet; }, 20000));
    const std::size_t before = events.states.size();
    PumpUntil([] { return false; }, 1000);  // late messages of the worker must go nowhere
    CHECK_EQ(events.states.size(), before);
}

void TransferSecondExecuteReplacesFirst() {
    std::printf("transfer: a second Execute drops the first request's events\n");
    win32::Win32TransferFactory factory;
    Recorder events;
    auto inet = factory.CreateTransferControl(events);
    inet->SetRequestTimeout(30);
    inet->Execute(g_base + "stall/0/first", "GET");
    PumpUntil([] { return false; }, 300);
    events.states.clear();
    inet->Execute(g_base + "normal/1000/second", "GET");
    CHECK(PumpUntil([&] { return events.Ended(); }, 20000));
    CHECK_EQ(events.states.back(), platform::icResponseCompleted);
    CHECK(inet->URL() == g_base + "normal/1000/second");
    std::vector<std::uint8_t> buffer(5000);
    CHECK_EQ(inet->GetChunk(buffer.data(), buffer.size()), 1000u);
}

void TransferNoProxyListening(int deadPort) {
    std::printf("transfer: nothing listening where the proxy should be is a connection failure\n");
    HKEY key;
    const char* path = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    CHECK(::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) == ERROR_SUCCESS);
    char saved[256] = "";
    DWORD size = sizeof saved - 1;
    ::RegQueryValueExA(key, "ProxyServer", nullptr, nullptr, reinterpret_cast<BYTE*>(saved), &size);
    const std::string dead = "127.0.0.1:" + std::to_string(deadPort);
    ::RegSetValueExA(key, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(dead.c_str()),
                     static_cast<DWORD>(dead.size() + 1));
    {
        win32::Win32TransferFactory factory;
        Recorder events;
        auto inet = factory.CreateTransferControl(events);
        inet->SetRequestTimeout(10);
        inet->Execute(g_base + "normal/10/x", "GET");
        CHECK(PumpUntil([&] { return events.Ended(); }, 30000));
        CHECK_EQ(events.states.back(), platform::icError);
        CHECK(!events.Has(platform::icResponseReceived));
        CHECK(inet->Failure().kind == platform::TransferFailure::Kind::CannotConnect);
        std::printf("  (error %lu)\n", static_cast<unsigned long>(inet->Failure().systemError));
    }
    ::RegSetValueExA(key, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved),
                     static_cast<DWORD>(std::strlen(saved) + 1));
    ::RegCloseKey(key);
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

void CheckTwipRect(HWND parent, HWND child, int l, int t, int w, int h) {
    const RECT rc = ChildRect(parent, child);
    CHECK_EQ(rc.left, Px(l, parent));
    CHECK_EQ(rc.top, Px(t, parent));
    CHECK_EQ(rc.right - rc.left, Px(w, parent));
    CHECK_EQ(rc.bottom - rc.top, Px(h, parent));
}

std::string Text(HWND window) {
    char text[512] = "";
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

void DownloadWindowDesign() {
    std::printf("windows: the download window's frame, layout, texts, bar, timer and events\n");
    win32::Win32WindowToolkit windows;
    WindowEvents events;
    CHECK(!windows.AnyWindowOpen());
    auto view = windows.CreateDownloadWindow(events);
    CHECK(windows.AnyWindowOpen());
    HWND form = ThreadWindow("OrvastellDownloadForm");
    CHECK(form != nullptr);
    if (!form) return;
    CHECK(!view->Visible());
    view->Show();
    CHECK(view->Visible());
    CHECK(Text(form) == "File download");
    const LONG_PTR style = ::GetWindowLongPtrA(form, GWL_STYLE);
    CHECK((style & WS_CAPTION) == WS_CAPTION);
    CHECK((style & WS_SYSMENU) != 0);
    CHECK((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0);
    // No taskbar button: owned by a window that is never shown.
    HWND owner = ::GetWindow(form, GW_OWNER);
    CHECK(owner != nullptr && !::IsWindowVisible(owner));
    RECT client;
    ::GetClientRect(form, &client);
    CHECK_EQ(client.right, Px(6705, form));
    CHECK_EQ(client.bottom, Px(1770, form));

    HWND label1 = ::GetDlgItem(form, 101), bar = ::GetDlgItem(form, 102), timeLeft = ::GetDlgItem(form, 103),
         label2 = ::GetDlgItem(form, 104), cancel = ::GetDlgItem(form, 105);
    CHECK(label1 && bar && timeLeft && label2 && cancel);
    if (!(label1 && bar && timeLeft && label2 && cancel)) return;
    CheckTwipRect(form, label1, 120, 120, 6435, 495);
    CheckTwipRect(form, bar, 0, 600, 6615, 255);
    CheckTwipRect(form, timeLeft, 0, 960, 3015, 255);
    CheckTwipRect(form, label2, 3120, 960, 3495, 255);
    CheckTwipRect(form, cancel, 5520, 1320, 1095, 375);
    CHECK((::GetWindowLongPtrA(label2, GWL_STYLE) & SS_TYPEMASK) == SS_RIGHT);
    CHECK((::GetWindowLongPtrA(timeLeft, GWL_STYLE) & SS_TYPEMASK) == SS_LEFT);
    CHECK(Text(cancel) == "Cancel");
    char cls[64];
    ::GetClassNameA(bar, cls, sizeof cls);
    CHECK(std::strcmp(cls, PROGRESS_CLASSA) == 0);

    view->SetCaption("File download - Microsoft Access 2003 Runtime");
    CHECK(Text(form) == "File download - Microsoft Access 2003 Runtime");
    view->SetStatus("Downloading file:\r\nhttp://example/x");
    CHECK(Text(label1) == "Downloading file:\r\nhttp://example/x");
    view->SetAmount("1,234.57 KB @ 98.76 KB/s");
    CHECK(Text(label2) == "1,234.57 KB @ 98.76 KB/s");
    view->SetTimeLeft("Time left: 3mins 20secs");
    CHECK(Text(timeLeft) == "Time left: 3mins 20secs");

    view->SetProgressMax(34148.0f);
    view->SetProgressValue(17074.4f);
    CHECK(view->ProgressMax() == 34148.0f);
    CHECK(view->ProgressValue() == 17074.4f);
    CHECK_EQ(::SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 34148);
    CHECK(PumpUntil([&] { return ::SendMessageA(bar, PBM_GETPOS, 0, 0) == 17074; }, 1000));
    // Positions that come faster than the bar is repainted: the latest is shown soon after,
    // without anything else happening; either end at once.
    view->SetProgressValue(20000.0f);
    view->SetProgressValue(25000.0f);
    CHECK(PumpUntil([&] { return ::SendMessageA(bar, PBM_GETPOS, 0, 0) == 25000; }, 1000));
    view->SetProgressValue(26000.0f);
    view->SetProgressValue(34148.0f);
    CHECK_EQ(::SendMessageA(bar, PBM_GETPOS, 0, 0), 34148);
    view->SetProgressValue(17074.4f);
    CHECK(PumpUntil([&] { return ::SendMessageA(bar, PBM_GETPOS, 0, 0) == 17074; }, 1000));

    // The timer ticks once a second from creation.
    const ULONGLONG start = ::GetTickCount64();
    CHECK(PumpUntil([&] { return events.ticks >= 2; }, 4000));
    const ULONGLONG took = ::GetTickCount64() - start;
    CHECK(took >= 800 && took < 3500);

    // The close box asks the core; the window stays until the core destroys it.
    ::SendMessageA(form, WM_CLOSE, 0, 0);
    CHECK_EQ(events.closes, 1);
    CHECK(::IsWindow(form));
    ::SendMessageA(form, WM_COMMAND, MAKEWPARAM(105, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    CHECK_EQ(events.cancels, 1);

    // DoEvents dispatches what is waiting and returns (once the clock has moved on since its last
    // look); DoEventsNow always looks.
    ::PostMessageA(form, WM_CLOSE, 0, 0);
    CHECK(PumpUntil([&] {
        windows.DoEvents();
        return events.closes == 2;
    }, 1000));
    windows.DoEventsNow();
    ::PostMessageA(form, WM_CLOSE, 0, 0);
    windows.DoEventsNow();
    CHECK_EQ(events.closes, 3);

    // An error in a handler comes out of the next DoEvents, not through the system's frames.
    events.onTick = [] { throw AgentError(76, "Path not found"); };
    bool raised = false;
    const ULONGLONG end = ::GetTickCount64() + 3000;
    while (!raised && ::GetTickCount64() < end) {
        try {
            windows.DoEvents();
        } catch (const AgentError& e) {
            raised = e.Number() == 76;
        }
        ::Sleep(10);
    }
    CHECK(raised);
    events.onTick = nullptr;

    // Moved to a monitor of 144 DPI: the same design at one and a half times the size.
    RECT suggested{20, 20, 720, 320};
    ::SendMessageA(form, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    ::GetClientRect(form, &client);
    CHECK_EQ(client.right, ::MulDiv(6705, 144, 1440));
    CHECK_EQ(client.bottom, ::MulDiv(1770, 144, 1440));
    const RECT cancelAt144 = ChildRect(form, cancel);
    CHECK_EQ(cancelAt144.left, ::MulDiv(5520, 144, 1440));
    CHECK_EQ(cancelAt144.top, ::MulDiv(1320, 144, 1440));
    CHECK_EQ(cancelAt144.right - cancelAt144.left, ::MulDiv(1095, 144, 1440));
    CHECK(Text(label2) == "1,234.57 KB @ 98.76 KB/s");

    const int ticks = events.ticks;
    view->Destroy();
    CHECK(!::IsWindow(form));
    CHECK(!windows.AnyWindowOpen());
    view->SetStatus("after");  // harmless once destroyed
    PumpUntil([] { return false; }, 1300);
    CHECK_EQ(events.ticks, ticks);
}

void UpdateWindowDesign() {
    std::printf("windows: the update window is centred, its label centred in 18-point type\n");
    win32::Win32WindowToolkit windows;
    auto view = windows.CreateUpdateWindow();
    HWND form = ThreadWindow("OrvastellUpdateForm");
    CHECK(form != nullptr);
    if (!form) return;
    view->Show();
    view->Refresh();
    CHECK(Text(form) == "Automatic Update");
    CHECK(::GetWindow(form, GW_OWNER) == nullptr);  // its own taskbar button
    const LONG_PTR style = ::GetWindowLongPtrA(form, GWL_STYLE);
    CHECK((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0);
    RECT client, rc;
    ::GetClientRect(form, &client);
    CHECK_EQ(client.right, Px(6690, form));
    CHECK_EQ(client.bottom, Px(1845, form));
    ::GetWindowRect(form, &rc);
    const int sx = ::GetSystemMetrics(SM_CXSCREEN), sy = ::GetSystemMetrics(SM_CYSCREEN);
    CHECK(std::abs((rc.left + rc.right) / 2 - sx / 2) <= 1);
    CHECK(std::abs((rc.top + rc.bottom) / 2 - sy / 2) <= 1);
    HWND label = ::GetDlgItem(form, 106);
    CHECK(label != nullptr);
    if (!label) return;
    CheckTwipRect(form, label, 720, 480, 5175, 975);
    CHECK(Text(label) == "Running automatic update. Please wait...");
    CHECK((::GetWindowLongPtrA(label, GWL_STYLE) & SS_TYPEMASK) == SS_CENTER);
    // MS Sans Serif, or its scalable successor where the bitmap font lacks the size; either way
    // the characters are 18 points high.
    HFONT labelFont = reinterpret_cast<HFONT>(::SendMessageA(label, WM_GETFONT, 0, 0));
    LOGFONTA font{};
    ::GetObjectA(labelFont, sizeof font, &font);
    CHECK(std::strcmp(font.lfFaceName, "MS Sans Serif") == 0 || std::strcmp(font.lfFaceName, "Microsoft Sans Serif") == 0);
    CHECK_EQ(font.lfHeight, -::MulDiv(18, Px(1440, form), 72));
    CHECK(font.lfWeight == FW_NORMAL && !font.lfItalic);
    HDC dc = ::GetDC(label);
    HGDIOBJ old = ::SelectObject(dc, labelFont);
    TEXTMETRICA tm{};
    ::GetTextMetricsA(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(label, dc);
    std::printf("  (status font: %s, %ld px characters)\n", font.lfFaceName, tm.tmHeight - tm.tmInternalLeading);
    CHECK(std::abs((tm.tmHeight - tm.tmInternalLeading) - ::MulDiv(18, Px(1440, form), 72)) <= 2);

    // Closed by the user while shown (a box of the copy may pump messages): the core's unload
    // then finds nothing to destroy.
    ::SendMessageA(form, WM_CLOSE, 0, 0);
    CHECK(!::IsWindow(form));
    CHECK(!windows.AnyWindowOpen());
    view->Destroy();
}

void PumpEndsWithTheLastWindow() {
    std::printf("windows: the program's loop ends when the last window goes\n");
    win32::Win32WindowToolkit windows;
    WindowEvents events;
    std::unique_ptr<platform::DownloadWindowView> view = windows.CreateDownloadWindow(events);
    view->Show();
    events.onTick = [&] { view->Destroy(); };
    const ULONGLONG start = ::GetTickCount64();
    windows.PumpUntilNoWindows();
    CHECK(!windows.AnyWindowOpen());
    CHECK(::GetTickCount64() - start < 3000);

    // An error escaping a handler ends the loop and reaches the caller.
    view = windows.CreateDownloadWindow(events);
    events.onTick = [] { throw AgentError(61, "Disk full"); };
    bool raised = false;
    try {
        windows.PumpUntilNoWindows();
    } catch (const AgentError& e) {
        raised = e.Number() == 61;
    }
    CHECK(raised);
    view->Destroy();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::printf("usage: backend_check <proxy-port> <a-port-nothing-listens-on>\n");
        return 2;
    }
    g_base = "http://orvastell.test/_mode/";
    ::SetProcessDPIAware();
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);

    DownloadWindowDesign();
    UpdateWindowDesign();
    PumpEndsWithTheLastWindow();

    TransferSuccessfulGet();
    TransferBadStatus();
    TransferTruncated();
    TransferStallTimesOut();
    TransferCancelWhileStalled();
    TransferDestroyedFromItsOwnEvent();
    TransferSecondExecuteReplacesFirst();
    TransferNoProxyListening(std::atoi(argv[2]));

    std::printf("%d checks, %d failed\n", g_checks, g_failures);
    return g_failures == 0 ? 0 : 1;
}
