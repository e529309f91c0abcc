// The download window: a status line, a progress bar, the time left and the amount received, and
// a Cancel button, on a dialog frame without a taskbar button of its own.
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include "win32/Win32CommonControls.h"
#include "win32/Win32WindowBase.h"
#include "win32/Win32WindowToolkit.h"

namespace orv::win32 {
namespace {

constexpr const char* kOwnerClass = "OrvastellHiddenOwner";

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickIntervalMs = 1000;
// The progress bar paints itself at once on every new position it is given, which takes about a
// millisecond: a new position goes to it at most this often, the latest one at the latest then.
constexpr UINT_PTR kBarTimer = 2;
constexpr ULONGLONG kBarIntervalMs = 40;

// The design's size and places, in twips.
constexpr int kDownloadClientWidth = 6705, kDownloadClientHeight = 1770;
constexpr TwipRect kStatusPlace{120, 120, 6435, 495};
constexpr TwipRect kProgressPlace{0, 600, 6615, 255};
constexpr TwipRect kTimeLeftPlace{0, 960, 3015, 255};
constexpr TwipRect kAmountPlace{3120, 960, 3495, 255};
constexpr TwipRect kCancelPlace{5520, 1320, 1095, 375};

int ToPosition(float value) {
    if (!(value > 0.0f)) return 0;  // also NaN
    if (value >= static_cast<float>(INT_MAX)) return INT_MAX;
    return static_cast<int>(std::lround(value));
}

class Win32DownloadWindow final : public platform::DownloadWindowView, public DesignedWindow {
public:
    Win32DownloadWindow(platform::DownloadWindowEvents& events, HWND owner) : events_(&events) {
        RegisterWindowClass(kDownloadClass, WindowProcedure);
        // The window and its controls are made with the common controls of version 6.
        CommonControlsScope commonControls;
        EnsureCommonControls();
        Create({kDownloadClass, "File download", owner, CW_USEDEFAULT, CW_USEDEFAULT, kDownloadClientWidth,
                kDownloadClientHeight, "MS Sans Serif", 8});
        AddControl("STATIC", "", SS_LEFT | SS_NOPREFIX, kStatusPlace, idStatus);
        progress_ = AddControl(PROGRESS_CLASSA, "", 0, kProgressPlace, idProgress);
        ::SendMessageA(progress_, PBM_SETRANGE32, 0, ToPosition(max_));
        MeasureBar();
        AddControl("STATIC", "", SS_LEFT | SS_NOPREFIX, kTimeLeftPlace, idTimeLeft);
        AddControl("STATIC", "", SS_RIGHT | SS_NOPREFIX, kAmountPlace, idAmount);
        // The default button: Enter presses it, as Space does while it has the focus and as Esc
        // does (see TakesDialogKeys).
        cancel_ = AddControl("BUTTON", "Cancel", WS_TABSTOP | BS_DEFPUSHBUTTON, kCancelPlace, idCancel);
        // The timer runs from the moment the window is loaded until it is unloaded.
        tickTimer_.Start(Hwnd(), kTickTimer, kTickIntervalMs);
    }
    ~Win32DownloadWindow() override { Destroy(); }

    void Show() override {
        if (!Hwnd()) return;
        ::ShowWindow(Hwnd(), SW_SHOWNORMAL);
        ::SetFocus(cancel_);
        // Painted by the message loop, which runs as soon as the download has been started: a
        // paint here (some 20 ms under Wine) would hold up the request, and would be done again
        // for the caption and the status set right after.
    }
    bool Visible() override { return Hwnd() && ::IsWindowVisible(Hwnd()); }
    void SetCaption(const std::string& text) override {
        if (Hwnd()) ::SetWindowTextA(Hwnd(), text.c_str());
    }
    void SetStatus(const std::string& text) override { SetText(idStatus, text); }
    void SetAmount(const std::string& text) override { SetText(idAmount, text); }
    void SetTimeLeft(const std::string& text) override { SetText(idTimeLeft, text); }
    void SetProgressMax(float value) override {
        max_ = value;
        if (!Hwnd()) return;
        ::SendMessageA(progress_, PBM_SETRANGE32, 0, ToPosition(max_));
        SendPosition();
    }
    void SetProgressValue(float value) override {
        value_ = value;
        if (!Hwnd()) return;
        // The read-out moves the bar by one KB every four chunks: thousands of new positions a
        // second that mostly leave the drawn length as it was. A new position goes to the bar
        // when its drawn length changes, or at either end, and not more often than every
        // kBarIntervalMs; one that has to wait goes when that time is up.
        const int position = ToPosition(value_);
        if (position == sentPosition_) return;
        const bool end = position == 0 || position == ToPosition(max_);
        if (!end && FilledPixels(position) == FilledPixels(sentPosition_)) return;
        if (end || ::GetTickCount64() - sentAt_ >= kBarIntervalMs) return SendPosition();
        if (!barTimer_.Running()) barTimer_.Start(Hwnd(), kBarTimer, static_cast<UINT>(kBarIntervalMs));
    }
    void Destroy() override {
        tickTimer_.Stop();
        barTimer_.Stop();
        DestroyWindowNow();
    }

    bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        // Each handler may unload this window (and delete this object): copy what is needed
        // first and return straight after.
        platform::DownloadWindowEvents* events = events_;
        switch (message) {
        case WM_TIMER:
            if (wParam == kBarTimer) {
                barTimer_.Stop();
                if (ToPosition(value_) != sentPosition_) SendPosition();
                result = 0;
                return true;
            }
            if (wParam != kTickTimer) return false;
            RunEventHandler([events] { events->OnTick(); });
            result = 0;
            return true;
        case WM_COMMAND:
            // A click, Enter or Space on the button; or Esc, which the dialog manager sends as
            // IDCANCEL: all of them are the Cancel button's.
            if (!((LOWORD(wParam) == idCancel && HIWORD(wParam) == BN_CLICKED) || LOWORD(wParam) == IDCANCEL))
                return false;
            RunEventHandler([events] { events->OnCancelClicked(); });
            result = 0;
            return true;
        case DM_GETDEFID:
            // Enter while the focus is not on a button presses the default one.
            result = MAKELRESULT(idCancel, DC_HASDEFID);
            return true;
        case WM_SETFOCUS:
            // The window itself is given the focus when it is activated again (after another
            // program's window): the button has it back, as in a dialog.
            if (cancel_ && ::IsWindowEnabled(cancel_)) ::SetFocus(cancel_);
            result = 0;
            return true;
        case WM_CLOSE:
            // The core decides: it cancels the request and destroys the window.
            RunEventHandler([events] { events->OnCloseRequested(); });
            result = 0;
            return true;
        case WM_DPICHANGED:
            ApplyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            MeasureBar();
            result = 0;
            return true;
        case WM_DESTROY:
            Lost();
            return false;
        default:
            return false;
        }
    }

private:
    void SendPosition() {
        sentPosition_ = ToPosition(value_);
        sentAt_ = ::GetTickCount64();
        ::SendMessageA(progress_, PBM_SETPOS, static_cast<WPARAM>(sentPosition_), 0);
    }

    // The bar's width, kept: the read-out moves the bar tens of thousands of times, and asking
    // the system for the width each time cost more than all the rest of the read-out.
    void MeasureBar() {
        RECT client{};
        barWidth_ = ::GetClientRect(progress_, &client) ? client.right - client.left : 0;
    }

    // The length of the bar drawn for a position, in pixels of the bar's width.
    int FilledPixels(int position) const {
        const int maximum = ToPosition(max_);
        if (maximum <= 0 || barWidth_ <= 0) return position;
        const long long filled = static_cast<long long>(std::min(position, maximum)) * barWidth_;
        return static_cast<int>(filled / maximum);
    }

    platform::DownloadWindowEvents* events_;
    HWND progress_ = nullptr;
    HWND cancel_ = nullptr;
    float max_ = 100.0f;  // the progress bar's design-time maximum
    float value_ = 0.0f;
    int sentPosition_ = 0;  // the position the bar was last given
    ULONGLONG sentAt_ = 0;  // and when
    WindowTimer tickTimer_;  // from the moment the window is loaded until it is unloaded
    WindowTimer barTimer_;   // running while a later position waits
    int barWidth_ = 0;      // its client width in pixels
};

} // namespace

std::unique_ptr<platform::DownloadWindowView> Win32WindowToolkit::CreateDownloadWindow(
    platform::DownloadWindowEvents& events) {
    return std::make_unique<Win32DownloadWindow>(events, HiddenOwner());
}

// The download window has an owner that is never shown, so that it gets no taskbar button
// while keeping its normal caption. Made with the first download window and kept, for the next
// one, as long as the toolkit.
HWND Win32WindowToolkit::HiddenOwner() {
    if (hiddenOwner_ && ::IsWindow(hiddenOwner_.get())) return hiddenOwner_.get();
    RegisterWindowClass(kOwnerClass, ::DefWindowProcA);
    hiddenOwner_.reset(::CreateWindowExA(WS_EX_TOOLWINDOW, kOwnerClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                         ::GetModuleHandleA(nullptr), nullptr));
    return hiddenOwner_.get();
}

} // namespace orv::win32
