// The update window: one line that says an update is running, on a dialog frame centred on the
// screen. It has no code of its own; the core shows it, paints it and destroys it.
#include <memory>

#include "win32/Win32CommonControls.h"
#include "win32/Win32WindowBase.h"
#include "win32/Win32WindowToolkit.h"

namespace orv::win32 {
namespace {

// The design's size and place, in twips.
constexpr int kUpdateClientWidth = 6690, kUpdateClientHeight = 1845;
constexpr TwipRect kUpdateStatusPlace{720, 480, 5175, 975};

void CentreOnScreen(HWND window) {
    RECT rc;
    ::GetWindowRect(window, &rc);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (::GetMonitorInfoA(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info)) screen = info.rcMonitor;
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    const int x = screen.left + (screen.right - screen.left - width) / 2;
    const int y = screen.top + (screen.bottom - screen.top - height) / 2;
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

class Win32UpdateWindow final : public platform::UpdateWindowView, public DesignedWindow {
public:
    Win32UpdateWindow() {
        RegisterWindowClass(kUpdateClass, WindowProcedure);
        CommonControlsScope commonControls;
        Create({kUpdateClass, "Automatic Update", nullptr, 0, 0, kUpdateClientWidth, kUpdateClientHeight,
                "MS Sans Serif", 18});
        CentreOnScreen(Hwnd());
        AddControl("STATIC", "Running automatic update. Please wait...", SS_CENTER | SS_NOPREFIX, kUpdateStatusPlace,
                   idUpdateStatus);
    }
    ~Win32UpdateWindow() override { Destroy(); }

    void Show() override {
        if (!Hwnd()) return;
        ::ShowWindow(Hwnd(), SW_SHOWNORMAL);
        ::UpdateWindow(Hwnd());
    }
    void Refresh() override {
        if (!Hwnd()) return;
        // Frame, background and label are drawn now: the caller blocks the thread next.
        ::RedrawWindow(Hwnd(), nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        ::GdiFlush();
    }
    void Destroy() override { DestroyWindowNow(); }

    bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        // No code of its own; the close box simply closes it (the core's unload then finds
        // the window gone).
        if (message == WM_DPICHANGED) {
            ApplyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            result = 0;
            return true;
        }
        if (message == WM_DESTROY) Lost();
        return false;
    }
};

} // namespace

std::unique_ptr<platform::UpdateWindowView> Win32WindowToolkit::CreateUpdateWindow() {
    return std::make_unique<Win32UpdateWindow>();
}

} // namespace orv::win32
