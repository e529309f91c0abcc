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

#endif
