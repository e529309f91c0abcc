#include "win32/Win32MessageBox.h"

#include <vector>

#include "win32/Win32Api.h"
#include "win32/Win32CommonControls.h"

namespace orv::win32 {
namespace {

BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM param) {
    if (::IsWindowVisible(window) && ::IsWindowEnabled(window))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

} // namespace

std::int32_t Win32MessageBox::Show(const std::string& text, const std::string& title, std::int32_t style) {
    // The box is modal to the whole agent: while it is up, the agent's own windows take no
    // clicks (a Cancel pressed on the download window behind an error box would otherwise run
    // in the middle of the code that showed the box). The style value stays exactly the
    // caller's, and the box keeps no owner so that it has its own button on the taskbar.
    std::vector<HWND> disabled;
    ::EnumThreadWindows(::GetCurrentThreadId(), CollectEnabledWindow, reinterpret_cast<LPARAM>(&disabled));
    for (HWND window : disabled) ::EnableWindow(window, FALSE);
    int result = 0;
    {
        CommonControlsScope commonControls;  // themed buttons, as on the agent's windows
        result = ::MessageBoxA(nullptr, text.c_str(), title.c_str(), static_cast<UINT>(style));
    }
    // Where the common controls cannot be loaded, a box made with them fails before it shows;
    // the user is still told, in a box of the system's plain controls.
    if (result <= 0) result = ::MessageBoxA(nullptr, text.c_str(), title.c_str(), static_cast<UINT>(style));
    for (HWND window : disabled)
        if (::IsWindow(window)) ::EnableWindow(window, TRUE);
    return result;
}

} // namespace orv::win32
