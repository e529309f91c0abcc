// The message loop of the window thread: the yield to it while the core works (DoEvents), the
// loop that keeps the program alive while a window is open, and the relay that raises an error
// of an event handler outside the window procedure that ran it.
#include <cstring>
#include <exception>

#include "win32/Win32Api.h"
#include "win32/Win32WindowBase.h"
#include "win32/Win32WindowToolkit.h"

namespace orv::win32 {
namespace {

std::exception_ptr g_pendingError;

// The download window answers the keyboard as a dialog does: Esc cancels, Enter presses the
// default button and Space the focused one, Tab moves the focus. The update window has nothing
// to act on and takes no keys.
bool TakesDialogKeys(HWND root) {
    char cls[64];
    return root && ::GetClassNameA(root, cls, sizeof cls) > 0 && std::strcmp(cls, kDownloadClass) == 0;
}

// Translates and dispatches one message. Keys for a window that takes dialog keys go through the
// dialog manager, which acts on them (a press of Cancel, here) or dispatches them itself.
void DispatchOne(MSG& msg) {
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST && msg.hwnd) {
        HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
        if (TakesDialogKeys(root) && ::IsDialogMessageA(root, &msg)) return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
}

} // namespace

void RunEventHandler(const std::function<void()>& handler) {
    if (g_pendingError) return;
    try {
        handler();
    } catch (...) {
        g_pendingError = std::current_exception();
    }
}

void RaisePendingHandlerError() {
    if (!g_pendingError) return;
    std::exception_ptr error = g_pendingError;
    g_pendingError = nullptr;
    std::rethrow_exception(error);
}

void Win32WindowToolkit::DoEvents() {
    RaisePendingHandlerError();
    // The download's read loop yields before every 256-byte chunk, over a hundred thousand times
    // for the runtime, and checking the message queue costs tens of microseconds (more under
    // Wine): checking every time would make the read-out take many times longer than the
    // transfer. The queue is checked once the tick count has moved on since the last check (it
    // moves in steps of 10 to 16 ms on Windows, and under Wine as measured): timer ticks, clicks
    // and close requests wait at most that long, which nobody notices, and the read loop checks
    // once more (DoEventsNow) before it takes the body for complete.
    const ULONGLONG now = ::GetTickCount64();
    if (now == lastCheckMs_) return;
    DoEventsNow();
}

void Win32WindowToolkit::DoEventsNow() {
    RaisePendingHandlerError();
    lastCheckMs_ = ::GetTickCount64();
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to act on here: leave it for the outer loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        DispatchOne(msg);
        RaisePendingHandlerError();
    }
    // No sleep here: while the core waits for the transfer, the transfer's StillExecuting
    // sleeps until there is something to do, and a read-out wants the processor for itself
    // (giving it up on a busy machine can lose it for a whole time slice, many times over).
}

bool Win32WindowToolkit::AnyWindowOpen() const { return OpenWindowCount() > 0; }

void Win32WindowToolkit::PumpUntilNoWindows() {
    RaisePendingHandlerError();
    MSG msg;
    while (AnyWindowOpen()) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (got < 0) return;
        DispatchOne(msg);
        RaisePendingHandlerError();
    }
}

} // namespace orv::win32
