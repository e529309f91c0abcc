#include "win32/WinInetApi.h"

#include "download/TransferRules.h"
#include "platform/Trace.h"
#include "win32/Win32Libraries.h"

namespace orv::win32 {
namespace {

// The transfer's rules tell failures apart by the library's numbers (and Windows' own for memory).
namespace numbers = transfer_error;
static_assert(numbers::kNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY && numbers::kOutOfMemory == ERROR_OUTOFMEMORY);
static_assert(numbers::kInternetTimeout == ERROR_INTERNET_TIMEOUT &&
              numbers::kInternetNameNotResolved == ERROR_INTERNET_NAME_NOT_RESOLVED &&
              numbers::kInternetCannotConnect == ERROR_INTERNET_CANNOT_CONNECT &&
              numbers::kInternetConnectionAborted == ERROR_INTERNET_CONNECTION_ABORTED &&
              numbers::kInternetConnectionReset == ERROR_INTERNET_CONNECTION_RESET);
static_assert(numbers::kInternetCertDateInvalid == ERROR_INTERNET_SEC_CERT_DATE_INVALID &&
              numbers::kInternetCertCommonNameInvalid == ERROR_INTERNET_SEC_CERT_CN_INVALID &&
              numbers::kInternetInvalidCa == ERROR_INTERNET_INVALID_CA &&
              numbers::kInternetCertErrors == ERROR_INTERNET_SEC_CERT_ERRORS &&
              numbers::kInternetCertNoRevocation == ERROR_INTERNET_SEC_CERT_NO_REV &&
              numbers::kInternetCertRevocationFailed == ERROR_INTERNET_SEC_CERT_REV_FAILED &&
              numbers::kInternetSecurityChannelError == ERROR_INTERNET_SECURITY_CHANNEL_ERROR &&
              numbers::kInternetInvalidCert == ERROR_INTERNET_SEC_INVALID_CERT &&
              numbers::kInternetCertRevoked == ERROR_INTERNET_SEC_CERT_REVOKED);

WinInet LoadWinInet() {
    WinInet api;
    HMODULE module = LoadSystemLibrary("wininet.dll");
    if (!module) return api;
    api.InternetOpenA = ORV_PROC_ADDRESS(module, InternetOpenA);
    api.InternetSetOptionA = ORV_PROC_ADDRESS(module, InternetSetOptionA);
    api.InternetSetStatusCallbackA = ORV_PROC_ADDRESS(module, InternetSetStatusCallbackA);
    api.InternetConnectA = ORV_PROC_ADDRESS(module, InternetConnectA);
    api.HttpOpenRequestA = ORV_PROC_ADDRESS(module, HttpOpenRequestA);
    api.HttpSendRequestA = ORV_PROC_ADDRESS(module, HttpSendRequestA);
    api.HttpQueryInfoA = ORV_PROC_ADDRESS(module, HttpQueryInfoA);
    api.InternetReadFile = ORV_PROC_ADDRESS(module, InternetReadFile);
    api.InternetCloseHandle = ORV_PROC_ADDRESS(module, InternetCloseHandle);
    api.loaded = api.InternetOpenA && api.InternetSetOptionA && api.InternetSetStatusCallbackA &&
                 api.InternetConnectA && api.HttpOpenRequestA && api.HttpSendRequestA && api.HttpQueryInfoA &&
                 api.InternetReadFile && api.InternetCloseHandle;
    return api;
}

} // namespace

const WinInet& Inet() {
    static const WinInet api = [] {
        WinInet loaded = LoadWinInet();
        ORV_TRACE_EVENT("WinINet loaded");
        return loaded;
    }();
    return api;
}

bool EnsureWinInet() { return Inet().loaded; }

UniqueInternetHandle OwnInternetHandle(HINTERNET handle) {
    return UniqueInternetHandle(handle, InternetHandleCloser{Inet().InternetCloseHandle});
}

void SetTimeouts(HINTERNET handle, DWORD ms) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        Inet().InternetSetOptionA(handle, option, &ms, sizeof ms);
}

} // namespace orv::win32
