/* The clock of the benchmarks' traces, shared by the traced Orvastell.exe and the baseline
   programs of bench/ (C and C++): microseconds since the calling process was created, from the
   system's precise time of day where it has one (Windows 8 and later), else its plain one. */
#ifndef ORV_TRACE_CLOCK_H
#define ORV_TRACE_CLOCK_H
#include <windows.h>

static long long orv_trace_filetime(const FILETIME *time)
{
    return ((long long)time->dwHighDateTime << 32) | time->dwLowDateTime;
}

static long long orv_trace_microseconds(void)
{
    typedef VOID(WINAPI * PreciseTime)(LPFILETIME);
    static PreciseTime precise;
    static long long created;
    FILETIME now, creation, exit, kernel, user;
    if (!created) {
        precise = (PreciseTime)(void (*)(void))GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                               "GetSystemTimePreciseAsFileTime");
        GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
        created = orv_trace_filetime(&creation);
    }
    if (precise) precise(&now);
    else GetSystemTimeAsFileTime(&now);
    return (orv_trace_filetime(&now) - created) / 10;
}

/* Appends `length` bytes to the trace file at `path` (several runs share one file). */
static void orv_trace_append(const char *path, const char *text, DWORD length)
{
    DWORD written;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    WriteFile(file, text, length, &written, NULL);
    CloseHandle(file);
}

#endif
