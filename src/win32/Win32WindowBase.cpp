#include "win32/Win32WindowBase.h"

#include <string>
#include <utility>

namespace orv::win32 {
namespace {

// Fixed dialog frame, close box only: no minimise, no maximise, no sizing border.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;

// The windows of WindowProcedure, counted from WM_NCCREATE to WM_NCDESTROY.
int g_openWindows = 0;

// The window's own DPI where the system knows it (per-monitor aware systems), else the
// screen's logical DPI.
UINT WindowDpi(HWND window) {
    static const auto getDpiForWindow = ORV_PROC_ADDRESS(::GetModuleHandleA("user32.dll"), GetDpiForWindow);
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return dpi;
    }
    const WindowDc dc(window);
    const int dpi = dc.get() ? ::GetDeviceCaps(dc.get(), LOGPIXELSX) : 96;
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

int TwipsToPixels(int twips, UINT dpi) { return ::MulDiv(twips, static_cast<int>(dpi), 1440); }

// Sizes the window so that its client area is exactly the design's, at the window's DPI.
void SetClientSize(HWND window, int widthTwips, int heightTwips, UINT dpi) {
    static const auto adjustForDpi = ORV_PROC_ADDRESS(::GetModuleHandleA("user32.dll"), AdjustWindowRectExForDpi);
    RECT rc{0, 0, TwipsToPixels(widthTwips, dpi), TwipsToPixels(heightTwips, dpi)};
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrA(window, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrA(window, GWL_EXSTYLE));
    if (!(adjustForDpi && adjustForDpi(&rc, style, FALSE, exStyle, dpi)))
        ::AdjustWindowRectEx(&rc, style, FALSE, exStyle);
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

HFONT CreateFontOfFace(const char* face, int pixels) {
    return ::CreateFontA(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}

// The character height the font really has once the system has matched it.
int RealisedEmHeight(HFONT font) {
    const WindowDc screen(nullptr);
    const SelectedObject selected(screen.get(), font);
    TEXTMETRICA tm{};
    ::GetTextMetricsA(screen.get(), &tm);
    return tm.tmHeight - tm.tmInternalLeading;
}

// The design's face at the design's size. MS Sans Serif is a bitmap font; where a system lacks
// the larger sizes it hands out a much smaller one, and the text would be far smaller than the
// design. Its scalable successor, Microsoft Sans Serif, then keeps the size.
UniqueFont CreatePointFont(const char* face, int points, UINT dpi) {
    const int pixels = ::MulDiv(points, static_cast<int>(dpi), 72);
    UniqueFont font(CreateFontOfFace(face, pixels));
    if (font && RealisedEmHeight(font.get()) * 100 < pixels * 85) {
        UniqueFont scalable(CreateFontOfFace("Microsoft Sans Serif", pixels));
        if (scalable) font = std::move(scalable);
    }
    if (!font) font.reset(CreateFontOfFace(nullptr, pixels));
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

// The program's own icon (the first icon group among its resources), else the system's. Both
// are shared icons, which belong to the system: they are never destroyed.
void ProgramIcons(HICON& large, HICON& small) {
    HICON icons[2] = {nullptr, nullptr};
    ::EnumResourceNamesA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, LoadFirstIcon,
                         reinterpret_cast<LONG_PTR>(icons));
    large = icons[0] ? icons[0] : ::LoadIconA(nullptr, MAKEINTRESOURCEA(32512) /* IDI_APPLICATION */);
    small = icons[1] ? icons[1] : large;
}

} // namespace

AgentError AgentErrorFromLastError(const char* what) {
    const DWORD code = ::GetLastError();
    return AgentError(static_cast<std::int32_t>(code ? code : 1), std::string("The window could not be created (") +
                                                                      what + " failed, error " + std::to_string(code) +
                                                                      ").");
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        ++g_openWindows;
    } else if (message == WM_NCDESTROY) {
        --g_openWindows;
        ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    // A handler may unload the window and so delete its handler; nothing here touches the
    // handler after Handle has returned.
    auto* handler = reinterpret_cast<MessageHandler*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (handler && handler->Handle(message, wParam, lParam, result)) return result;
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void RegisterWindowClass(const char* name, WNDPROC proc) {
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

int OpenWindowCount() { return g_openWindows; }

void DesignedWindow::Create(const WindowDesign& design) {
    design_ = design;
    window_.reset(::CreateWindowExA(kWindowExStyle, design.cls, design.caption, kWindowStyle, design.x, design.y, 100,
                                    100, design.owner, nullptr, ::GetModuleHandleA(nullptr),
                                    static_cast<MessageHandler*>(this)));
    if (!window_) throw AgentErrorFromLastError("CreateWindowEx");
    dpi_ = WindowDpi(Hwnd());
    SetClientSize(Hwnd(), design.clientWidth, design.clientHeight, dpi_);
    font_ = CreatePointFont(design.fontFace, design.fontPoints, dpi_);
}

HWND DesignedWindow::AddControl(const char* cls, const char* text, DWORD style, const TwipRect& r, int id) {
    HWND control = ::CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, TwipsToPixels(r.left, dpi_),
                                     TwipsToPixels(r.top, dpi_), TwipsToPixels(r.width, dpi_),
                                     TwipsToPixels(r.height, dpi_), Hwnd(),
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleA(nullptr),
                                     nullptr);
    if (!control) throw AgentErrorFromLastError("CreateWindowEx");
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    controls_.push_back({control, r});
    return control;
}

void DesignedWindow::ApplyDpi(UINT dpi, const RECT* suggested) {
    if (!Hwnd() || dpi == 0) return;
    dpi_ = dpi;
    // The old font is deleted only once no control draws with it any more, at the end.
    const UniqueFont old = std::move(font_);
    font_ = CreatePointFont(design_.fontFace, design_.fontPoints, dpi_);
    if (suggested)
        ::SetWindowPos(Hwnd(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    SetClientSize(Hwnd(), design_.clientWidth, design_.clientHeight, dpi_);
    for (const auto& c : controls_) {
        ::SetWindowPos(c.window, nullptr, TwipsToPixels(c.place.left, dpi_), TwipsToPixels(c.place.top, dpi_),
                       TwipsToPixels(c.place.width, dpi_), TwipsToPixels(c.place.height, dpi_),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageA(c.window, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    }
}

void DesignedWindow::DestroyWindowNow() {
    window_.reset();
    controls_.clear();
    font_.reset();
}

void DesignedWindow::SetText(int id, const std::string& text) {
    if (Hwnd()) ::SetDlgItemTextA(Hwnd(), id, text.c_str());
}

void DesignedWindow::Lost() {
    (void)window_.release();  // the system destroys it
    controls_.clear();
}

} // namespace orv::win32
