// WinINet, loaded on the first request: most runs of the agent download nothing, and loading it
// (with the libraries it needs) at start-up would slow down every one of them.
#pragma once
#include "win32/Win32Api.h"
#include "win32/Win32Handles.h"

namespace orv::win32 {

struct WinInet {
    decltype(&::InternetOpenA) InternetOpenA = nullptr;
    decltype(&::InternetSetOptionA) InternetSetOptionA = nullptr;
    decltype(&::InternetSetStatusCallbackA) InternetSetStatusCallbackA = nullptr;
    decltype(&::InternetConnectA) InternetConnectA = nullptr;
    decltype(&::HttpOpenRequestA) HttpOpenRequestA = nullptr;
    decltype(&::HttpSendRequestA) HttpSendRequestA = nullptr;
    decltype(&::HttpQueryInfoA) HttpQueryInfoA = nullptr;
    decltype(&::InternetReadFile) InternetReadFile = nullptr;
    decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
    bool loaded = false;
};

// The library's functions, loaded with the first call from the system folder. Only used once a
// request is under way, and then only after EnsureWinInet succeeded.
const WinInet& Inet();
// Loads the library if that is not done yet; false when it or one of its functions is missing.
bool EnsureWinInet();

// A WinINet handle just opened (or null), owned, to be closed with the loaded library's
// InternetCloseHandle.
UniqueInternetHandle OwnInternetHandle(HINTERNET handle);

// Sets every time-out of `handle` to `ms`: some WinINet versions take them only from the
// connection or the request handle, so they are set on every level.
void SetTimeouts(HINTERNET handle, DWORD ms);

} // namespace orv::win32
