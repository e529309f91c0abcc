/* The download baseline: the least a WinINet program can do to fetch a file. Loads WinINet,
   opens a session with the system's proxy setting, opens the URL, reads it in 64 KB pieces and
   writes each straight to the file.

     mini_download.exe URL FILE TRACE

   Appends its trace to TRACE, with the agent's clock (microseconds since the process was
   created, src/win32/TraceClock.h): "WinINet loaded", "session opened", "headers in",
   "last byte in" and "file closed", and its working set at the headers and at the last byte.
   Exit code 0 on a complete 2xx download, 1 otherwise. */
#include <windows.h>
#include <wininet.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>

#include "win32/TraceClock.h"
#include "TraceFile.h"

static char g_trace[4096];
static size_t g_traceLength;

static void Event(const char *name)
{
    g_traceLength += (size_t)_snprintf(g_trace + g_traceLength, sizeof g_trace - g_traceLength, "%lu %lld %s\r\n",
                                       GetCurrentProcessId(), orv_trace_microseconds(), name);
}

/* An event whose number is the working set, as the agent's trace records it. */
static void MemoryEvent(const char *name)
{
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof counters);
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return;
    g_traceLength += (size_t)_snprintf(g_trace + g_traceLength, sizeof g_trace - g_traceLength, "%lu %lld %s %llu\r\n",
                                       GetCurrentProcessId(), orv_trace_microseconds(), name,
                                       (unsigned long long)counters.WorkingSetSize);
}

int main(int argc, char **argv)
{
    static char buffer[64 * 1024];
    HMODULE wininet;
    HINTERNET session, request;
    HANDLE file;
    DWORD got, written, status = 0, size = sizeof status;
    unsigned long long total = 0;
    int ok = 1;

    if (argc != 4) {
        fprintf(stderr, "usage: mini_download URL FILE TRACE\n");
        return 2;
    }
    /* Loaded as the agent loads it, when the download starts. */
    wininet = LoadLibraryA("wininet.dll");
    if (!wininet) return 1;
    Event("WinINet loaded");
    session = InternetOpenA("mini_download", INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    if (!session) return 1;
    Event("session opened");
    request = InternetOpenUrlA(session, argv[1], NULL, 0,
                               INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0);
    if (!request) {
        fprintf(stderr, "InternetOpenUrlA failed: %lu\n", GetLastError());
        return 1;
    }
    Event("headers in");
    MemoryEvent("working set, headers in");
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, NULL) ||
        status < 200 || status > 299)
        ok = 0;
    file = CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    for (;;) {
        if (!InternetReadFile(request, buffer, sizeof buffer, &got)) {
            ok = 0;
            break;
        }
        if (got == 0) break;
        if (!WriteFile(file, buffer, got, &written, NULL) || written != got) {
            ok = 0;
            break;
        }
        total += got;
    }
    Event("last byte in");
    MemoryEvent("working set, last byte in");
    CloseHandle(file);
    Event("file closed");
    InternetCloseHandle(request);
    InternetCloseHandle(session);
    orv_trace_append(argv[3], g_trace, (DWORD)g_traceLength);
    printf("bytes=%llu\n", total);
    return ok ? 0 : 1;
}
