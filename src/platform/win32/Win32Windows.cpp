#include "platform/win32/Win32Windows.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "common/Error.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32CommonControls.h"

namespace orv::win32 {
namespace {

constexpr const char* kDownloadClass = "OrvastellDownloadForm";
constexpr const char* kUpdateClass = "OrvastellUpdateForm";
constexpr const char* kOwnerClass = "OrvastellHiddenOwner";

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickIntervalMs = 1000;
// The progress bar paints itself at once on every new position it is given, which takes about a
// millisecond: a new position goes to it at most this often, the latest one at the latest then.
constexpr UINT_PTR kBarTimer = 2;
constexpr ULONGLONG kBarIntervalMs = 40;

enum ControlId : int { idStatus = 101, idProgress, idTimeLeft, idAmount, idCancel, idUpdateStatus };

// Positions and sizes of the designs, in twips (1/1440 inch).
struct TwipRect {
    int left, top, width, height;
};
constexpr int kDownloadClientWidth = 6705, kDownloadClientHeight = 1770;
constexpr TwipRect kStatusPlace{120, 120, 6435, 495};
constexpr TwipRect kProgressPlace{0, 600, 6615, 255};
constexpr TwipRect kTimeLeftPlace{0, 960, 3015, 255};
constexpr TwipRect kAmountPlace{3120, 960, 3495, 255};
constexpr TwipRect kCancelPlace{5520, 1320, 1095, 375};
constexpr int kUpdateClientWidth = 6690, kUpdateClientHeight = 1845;
constexpr TwipRect kUpdateStatusPlace{720, 480, 5175, 975};

// Fixed dialog frame, close box only: no minimise, no maximise, no sizing border.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;

int g_openWindows = 0;
std::exception_ptr g_pendingError;

// The window's own DPI where the system knows it (per-monitor aware systems), else the
// screen's logical DPI.
UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow = ORV_PROC_ADDRESS(::GetModuleHandleA("user32.dll"), GetDpiForWindow);
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return dpi;
    }
    HDC dc = ::GetDC(window);
    const int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc) ::ReleaseDC(window, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

int TwipsToPixels(int twips, UINT dpi) { return ::MulDiv(twips, static_cast<int>(dpi), 1440); }

// Sizes the window so that its client area is exactly the design's, at the window's DPI.
void SetClientSize(HWND window, int widthTwips, int heightTwips, UINT dpi) {
    static const auto adjustForDpi = ORV_PROC_ADDRESS(::GetModuleHandleA("user32.dll"), AdjustWindowRectExForDpi);
    RECT rc{0, 0, TwipsToPixels(widthTwips, dpi), TwipsToPixels(heightTwips, dpi)};
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrA(window, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrA(window, GWL_EXSTYLE));
    if (!(adjustForDpi && adjustForDpi(&rc, style, FALSE, exStyle, dpi))) ::AdjustWindowRectEx(&rc, style, FALSE, exStyle);
    ::SetWindowPos(window, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // Where the frame is not drawn at the DPI the computation assumed, correct by what is left.
    RECT client, frame;
    ::GetClientRect(window, &client);
    ::GetWindowRect(window, &frame);
    const int dx = TwipsToPixels(widthTwips, dpi) - client.right;
    const int dy = TwipsToPixels(heightTwips, dpi) - client.bottom;
    if (dx != 0 || dy != 0)
        ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + dx, frame.bottom - frame.top + dy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

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

HFONT CreateFontOfFace(const char* face, int pixels) {
    return ::CreateFontA(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}

// The character height the font really has once the system has matched it.
int RealisedEmHeight(HFONT font) {
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, font);
    TEXTMETRICA tm{};
    ::GetTextMetricsA(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    return tm.tmHeight - tm.tmInternalLeading;
}

// The design's face at the design's size. MS Sans Serif is a bitmap font; where a system lacks
// the larger sizes it hands out a much smaller one, and the text would be far smaller than the
// design. Its scalable successor, Microsoft Sans Serif, then keeps the size.
HFONT CreatePointFont(const char* face, int points, UINT dpi) {
    const int pixels = ::MulDiv(points, static_cast<int>(dpi), 72);
    HFONT font = CreateFontOfFace(face, pixels);
    if (font && RealisedEmHeight(font) * 100 < pixels * 85) {
        HFONT scalable = CreateFontOfFace("Microsoft Sans Serif", pixels);
        if (scalable) {
            ::DeleteObject(font);
            font = scalable;
        }
    }
    if (!font) font = CreateFontOfFace(nullptr, pixels);
    return font;
}

BOOL CALLBACK LoadFirstIcon(HMODULE module, LPCSTR, LPSTR name, LONG_PTR param) {
    auto* icons = reinterpret_cast<HICON*>(param);
    icons[0] = static_cast<HICON>(::LoadImageA(module, name, IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                               ::GetSystemMetrics(SM_CYICON), LR_SHARED));
    icons[1] = static_cast<HICON>(::LoadImageA(module, name, IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                               ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    return icons[0] == nullptr;  // stop at the first icon that loads
}

// The program's own icon (the first icon group among its resources), else the system's.
void ProgramIcons(HICON& large, HICON& small) {
    HICON icons[2] = {nullptr, nullptr};
    ::EnumResourceNamesA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, LoadFirstIcon,
                         reinterpret_cast<LONG_PTR>(icons));
    large = icons[0] ? icons[0] : ::LoadIconA(nullptr, MAKEINTRESOURCEA(32512) /* IDI_APPLICATION */);
    small = icons[1] ? icons[1] : large;
}

AgentError AgentErrorFromLastError(const char* what) {
    const DWORD code = ::GetLastError();
    return AgentError(static_cast<std::int32_t>(code ? code : 1), std::string("The window could not be created (") +
                                                                      what + " failed, error " + std::to_string(code) +
                                                                      ").");
}

// Window procedures and the forms behind them. ---------------------------------------------

class Form {
public:
    virtual ~Form() = default;
    // Handles a message; false lets the system's default handling run.
    virtual bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
};

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        ++g_openWindows;
    } else if (message == WM_NCDESTROY) {
        --g_openWindows;
        ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    // A handler may unload the window and so delete the form; nothing here touches the form
    // after Handle has returned.
    auto* form = reinterpret_cast<Form*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (form && form->Handle(message, wParam, lParam, result)) return result;
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void RegisterFormClass(const char* name, WNDPROC proc) {
    WNDCLASSEXA cls{};
    if (::GetClassInfoExA(::GetModuleHandleA(nullptr), name, &cls)) return;
    cls = WNDCLASSEXA{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = proc;
    cls.hInstance = ::GetModuleHandleA(nullptr);
    cls.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    ProgramIcons(cls.hIcon, cls.hIconSm);
    cls.lpszClassName = name;
    if (!::RegisterClassExA(&cls)) throw AgentErrorFromLastError("RegisterClassEx");
}

// The download window has an owner that is never shown, so that it gets no taskbar button
// while keeping its normal caption.
HWND HiddenOwner() {
    static HWND owner = nullptr;
    if (owner && ::IsWindow(owner)) return owner;
    RegisterFormClass(kOwnerClass, ::DefWindowProcA);
    owner = ::CreateWindowExA(WS_EX_TOOLWINDOW, kOwnerClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              ::GetModuleHandleA(nullptr), nullptr);
    return owner;
}

// A top-level form laid out in twips: its client size and its controls' places are kept, so
// that the whole form can be laid out again at another DPI.
class FormWindow : public Form {
public:
    // A form whose constructor fails part-way (a control that cannot be created) still has its
    // window: it goes here, with the rest of the form, so no window is left pointing at a form
    // that no longer exists.
    ~FormWindow() override { DestroyWindowNow(); }

protected:
    struct FormDesign {
        const char* cls;
        const char* caption;
        HWND owner;
        int x, y;
        int clientWidth, clientHeight;  // twips
        const char* fontFace;
        int fontPoints;
    };

    void Create(const FormDesign& design) {
        design_ = design;
        hwnd_ = ::CreateWindowExA(kFormExStyle, design.cls, design.caption, kFormStyle, design.x, design.y, 100, 100,
                                  design.owner, nullptr, ::GetModuleHandleA(nullptr), static_cast<Form*>(this));
        if (!hwnd_) throw AgentErrorFromLastError("CreateWindowEx");
        dpi_ = WindowDpi(hwnd_);
        SetClientSize(hwnd_, design.clientWidth, design.clientHeight, dpi_);
        font_ = CreatePointFont(design.fontFace, design.fontPoints, dpi_);
    }

    HWND AddControl(const char* cls, const char* text, DWORD style, const TwipRect& r, int id) {
        HWND control = ::CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, TwipsToPixels(r.left, dpi_),
                                         TwipsToPixels(r.top, dpi_), TwipsToPixels(r.width, dpi_),
                                         TwipsToPixels(r.height, dpi_), hwnd_,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                         ::GetModuleHandleA(nullptr), nullptr);
        if (!control) throw AgentErrorFromLastError("CreateWindowEx");
        ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        controls_.push_back({control, r});
        return control;
    }

    // The window moved to a monitor of another DPI: the same design at the new scale.
    void ApplyDpi(UINT dpi, const RECT* suggested) {
        if (!hwnd_ || dpi == 0) return;
        dpi_ = dpi;
        HFONT old = font_;
        font_ = CreatePointFont(design_.fontFace, design_.fontPoints, dpi_);
        if (suggested)
            ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        SetClientSize(hwnd_, design_.clientWidth, design_.clientHeight, dpi_);
        for (const auto& c : controls_) {
            ::SetWindowPos(c.window, nullptr, TwipsToPixels(c.place.left, dpi_), TwipsToPixels(c.place.top, dpi_),
                           TwipsToPixels(c.place.width, dpi_), TwipsToPixels(c.place.height, dpi_),
                           SWP_NOZORDER | SWP_NOACTIVATE);
            ::SendMessageA(c.window, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        }
        if (old) ::DeleteObject(old);
    }

    // Destroys the window without calling back into the form, then frees the font that its
    // controls used.
    void DestroyWindowNow() {
        if (hwnd_) {
            HWND window = hwnd_;
            hwnd_ = nullptr;
            ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            if (::IsWindow(window)) ::DestroyWindow(window);
        }
        controls_.clear();
        if (font_) ::DeleteObject(font_);
        font_ = nullptr;
    }

    void SetText(int id, const std::string& text) {
        if (hwnd_) ::SetDlgItemTextA(hwnd_, id, text.c_str());
    }

    // The window went away without our asking (the system destroyed it).
    void Lost() {
        hwnd_ = nullptr;
        controls_.clear();
    }

    HWND hwnd_ = nullptr;
    UINT dpi_ = 96;

private:
    struct Control {
        HWND window;
        TwipRect place;
    };
    FormDesign design_{};
    HFONT font_ = nullptr;
    std::vector<Control> controls_;
};

int ToPosition(float value) {
    if (!(value > 0.0f)) return 0;  // also NaN
    if (value >= static_cast<float>(INT_MAX)) return INT_MAX;
    return static_cast<int>(std::lround(value));
}

class Win32DownloadWindow final : public platform::DownloadWindowView, public FormWindow {
public:
    explicit Win32DownloadWindow(platform::DownloadWindowEvents& events) : events_(&events) {
        RegisterFormClass(kDownloadClass, FormProc);
        // The window and its controls are made with the common controls of version 6.
        CommonControlsScope commonControls;
        EnsureCommonControls();
        Create({kDownloadClass, "File download", HiddenOwner(), CW_USEDEFAULT, CW_USEDEFAULT, kDownloadClientWidth,
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
        ::SetTimer(hwnd_, kTickTimer, kTickIntervalMs, nullptr);
    }
    ~Win32DownloadWindow() override { Destroy(); }

    void Show() override {
        if (!hwnd_) return;
        ::ShowWindow(hwnd_, SW_SHOWNORMAL);
        ::SetFocus(cancel_);
        ::UpdateWindow(hwnd_);
    }
    bool Visible() override { return hwnd_ && ::IsWindowVisible(hwnd_); }
    void SetCaption(const std::string& text) override {
        if (hwnd_) ::SetWindowTextA(hwnd_, text.c_str());
    }
    void SetStatus(const std::string& text) override { SetText(idStatus, text); }
    void SetAmount(const std::string& text) override { SetText(idAmount, text); }
    void SetTimeLeft(const std::string& text) override { SetText(idTimeLeft, text); }
    void SetProgressMax(float value) override {
        max_ = value;
        if (!hwnd_) return;
        ::SendMessageA(progress_, PBM_SETRANGE32, 0, ToPosition(max_));
        SendPosition();
    }
    float ProgressMax() override { return max_; }
    void SetProgressValue(float value) override {
        value_ = value;
        if (!hwnd_) return;
        // The read-out moves the bar by one KB every four chunks: thousands of new positions a
        // second that mostly leave the drawn length as it was. A new position goes to the bar
        // when its drawn length changes, or at either end, and not more often than every
        // kBarIntervalMs; one that has to wait goes when that time is up.
        const int position = ToPosition(value_);
        if (position == sentPosition_) return;
        const bool end = position == 0 || position == ToPosition(max_);
        if (!end && FilledPixels(position) == FilledPixels(sentPosition_)) return;
        if (end || ::GetTickCount64() - sentAt_ >= kBarIntervalMs) return SendPosition();
        if (!barTimer_) barTimer_ = ::SetTimer(hwnd_, kBarTimer, static_cast<UINT>(kBarIntervalMs), nullptr) != 0;
    }
    float ProgressValue() override { return value_; }
    void Destroy() override {
        if (hwnd_) {
            ::KillTimer(hwnd_, kTickTimer);
            ::KillTimer(hwnd_, kBarTimer);
        }
        DestroyWindowNow();
    }

    bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        // Each handler may unload this window (and delete this object): copy what is needed
        // first and return straight after.
        platform::DownloadWindowEvents* events = events_;
        switch (message) {
        case WM_TIMER:
            if (wParam == kBarTimer) {
                ::KillTimer(hwnd_, kBarTimer);
                barTimer_ = false;
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
    bool barTimer_ = false;  // a later position waits for kBarTimer
    int barWidth_ = 0;      // its client width in pixels
};

class Win32UpdateWindow final : public platform::UpdateWindowView, public FormWindow {
public:
    Win32UpdateWindow() {
        RegisterFormClass(kUpdateClass, FormProc);
        CommonControlsScope commonControls;
        Create({kUpdateClass, "Automatic Update", nullptr, 0, 0, kUpdateClientWidth, kUpdateClientHeight,
                "MS Sans Serif", 18});
        CentreOnScreen(hwnd_);
        AddControl("STATIC", "Running automatic update. Please wait...", SS_CENTER | SS_NOPREFIX, kUpdateStatusPlace,
                   idUpdateStatus);
    }
    ~Win32UpdateWindow() override { Destroy(); }

    void Show() override {
        if (!hwnd_) return;
        ::ShowWindow(hwnd_, SW_SHOWNORMAL);
        ::UpdateWindow(hwnd_);
    }
    void Refresh() override {
        if (!hwnd_) return;
        // Frame, background and label are drawn now: the caller blocks the thread next.
        ::RedrawWindow(hwnd_, nullptr, nullptr,
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

Win32Windows::Win32Windows() = default;
Win32Windows::~Win32Windows() = default;

std::unique_ptr<platform::DownloadWindowView> Win32Windows::CreateDownloadWindow(platform::DownloadWindowEvents& events) {
    return std::make_unique<Win32DownloadWindow>(events);
}

std::unique_ptr<platform::UpdateWindowView> Win32Windows::CreateUpdateWindow() {
    return std::make_unique<Win32UpdateWindow>();
}

namespace {

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

void Win32Windows::DoEvents() {
    RaisePendingHandlerError();
    // The download's read loop yields before every 256-byte chunk, over a hundred thousand times
    // for the runtime, and a look at the message queue costs tens of microseconds (more under
    // Wine): looking every time would make the read-out take many times longer than the
    // transfer. The queue is looked at once the tick count has moved on since the last look (it
    // moves in steps of 10 to 16 ms on Windows, and under Wine as measured): timer ticks, clicks
    // and close requests wait at most that long, which nobody notices, and the read loop looks
    // once more (DoEventsNow) before it takes the body for complete.
    const ULONGLONG now = ::GetTickCount64();
    if (now == lastLookMs_) return;
    DoEventsNow();
}

void Win32Windows::DoEventsNow() {
    RaisePendingHandlerError();
    lastLookMs_ = ::GetTickCount64();
    MSG msg;
    bool dispatched = false;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to act on here: leave it for the outer loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        dispatched = true;
        DispatchOne(msg);
        RaisePendingHandlerError();
    }
    // The core polls in a tight loop while it waits; give the transfer's worker the processor.
    if (!dispatched) ::Sleep(0);
}

bool Win32Windows::AnyWindowOpen() const { return g_openWindows > 0; }

void Win32Windows::PumpUntilNoWindows() {
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
