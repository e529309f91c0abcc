/* The start-up baseline: the least a correct launcher does to open one file. It initialises COM
   on its thread (apartment-threaded, as the shell asks of its callers) and asks the shell to
   open the file.

     shell_open.exe TRACE PATH

   Appends its trace to TRACE, with the agent's clock (microseconds since the process was
   created, src/win32/TraceClock.h): "COM initialised", "shell open called", "shell open
   returned". */
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <stdio.h>

#include "win32/TraceClock.h"
#include "TraceFile.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char trace[1024];
    long long times[3];
    int length, ok;
    HRESULT com;
    (void)instance; (void)previous; (void)commandLine; (void)show;
    if (__argc != 3) return 2;
    com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    times[0] = orv_trace_microseconds();
    times[1] = orv_trace_microseconds();
    ok = (INT_PTR)ShellExecuteA(NULL, "open", __argv[2], NULL, NULL, SW_SHOWNORMAL) > 32;
    times[2] = orv_trace_microseconds();
    if (SUCCEEDED(com)) CoUninitialize();
    length = _snprintf(trace, sizeof trace,
                       "%lu %lld COM initialised\r\n%lu %lld shell open called\r\n%lu %lld shell open returned\r\n",
                       GetCurrentProcessId(), times[0], GetCurrentProcessId(), times[1], GetCurrentProcessId(),
                       times[2]);
    orv_trace_append(__argv[1], trace, (DWORD)length);
    return ok ? 0 : 1;
}
