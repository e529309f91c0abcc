/* Watches one run of a program for the download benchmark: answers the agent's offer of the
   runtime with Yes, and logs, with times in milliseconds since the program was started, what
   its download window shows as it changes and when it goes. It also samples the program's
   memory counters all along and logs the highest values seen.

     agent_watch.exe --log FILE [--timeout SECONDS] -- PROGRAM [ARGS]

   Log lines:
     T <ms> YES                     the offer was answered
     T <ms> LABEL1 <text>           the download window's status line changed (line breaks as \n)
     T <ms> LABEL2 <text>           its amount and rate changed
     T <ms> GONE                    the download window has gone
     T <ms> BOX <title>|<text>      any other message box (answered with OK)
     MEM peak_working_set=<bytes> peak_pagefile=<bytes> samples=<n>
     EXIT <ms> <code>  (or TIMEOUT)
   Polls every 10 ms; the window texts are read from the system (GetWindowText), which does
   not need the watched program to answer messages. */
#include <windows.h>
#include <psapi.h>
#include "../tests/wine/user_token.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static FILE *g_log;
static DWORD g_pid;
static LARGE_INTEGER g_frequency, g_start;
static int g_answered;
static int g_windowSeen, g_windowAlive;
static char g_label1[2048], g_label2[512];

static double Now(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (now.QuadPart - g_start.QuadPart) * 1000.0 / g_frequency.QuadPart;
}

static void Flatten(char *text)
{
    char *out = text, *in = text;
    for (; *in; ++in) {
        if (*in == '\r') continue;
        if (*in == '\n') {
            *out++ = '\\';
            *out++ = 'n'; /* "\r\n" becomes "\n": never longer than the original */
            continue;
        }
        *out++ = *in;
    }
    *out = '\0';
}

static BOOL CALLBACK ReadDownloadLabels(HWND child, LPARAM param)
{
    char cls[32], text[2048];
    LONG style;
    (void)param;
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") != 0) return TRUE;
    GetWindowTextA(child, text, sizeof text);
    Flatten(text);
    style = GetWindowLongA(child, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_RIGHT) { /* the amount and the rate */
        if (strcmp(text, g_label2) != 0) {
            lstrcpynA(g_label2, text, sizeof g_label2);
            fprintf(g_log, "T %.1f LABEL2 %s\n", Now(), text);
        }
    } else if (strstr(text, "ownload") || strstr(text, "Establishing")) { /* the status line */
        if (strcmp(text, g_label1) != 0 && text[0]) {
            lstrcpynA(g_label1, text, sizeof g_label1);
            fprintf(g_log, "T %.1f LABEL1 %s\n", Now(), text);
        }
    }
    return TRUE;
}

static BOOL CALLBACK CollectText(HWND child, LPARAM param)
{
    char cls[32], text[1024];
    char *out = (char *)param;
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") != 0) return TRUE;
    GetWindowTextA(child, text, sizeof text);
    if (strlen(out) + strlen(text) + 4 < 2048) {
        if (out[0]) strcat(out, " / ");
        strcat(out, text);
    }
    return TRUE;
}

static BOOL CALLBACK Visit(HWND window, LPARAM param)
{
    char cls[64], title[256];
    DWORD pid = 0;
    (void)param;
    GetWindowThreadProcessId(window, &pid);
    if (pid != g_pid || !IsWindowVisible(window)) return TRUE;
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, title, sizeof title);
    if (strcmp(cls, "OrvastellDownloadForm") == 0) {
        g_windowSeen = g_windowAlive = 1;
        EnumChildWindows(window, ReadDownloadLabels, 0);
    } else if (strcmp(cls, "#32770") == 0) {
        if (strcmp(title, "Download MS Access 2003 Runtime?") == 0) {
            if (!g_answered) {
                HWND yes = GetDlgItem(window, IDYES);
                if (yes) {
                    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), (LPARAM)yes);
                    g_answered = 1;
                    fprintf(g_log, "T %.1f YES\n", Now());
                }
            }
        } else {
            char text[2048] = "";
            HWND ok = GetDlgItem(window, IDOK);
            EnumChildWindows(window, CollectText, (LPARAM)text);
            Flatten(text);
            fprintf(g_log, "T %.1f BOX %s|%s\n", Now(), title, text);
            if (ok) PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)ok);
        }
    }
    return TRUE;
}

int main(int argc, char **argv)
{
    const char *logPath = NULL;
    int timeout = 300, i, samples = 0;
    char command[4096] = "";
    PROCESS_INFORMATION pi;
    DWORD code = 0;
    SIZE_T peakWorkingSet = 0, peakPagefile = 0;

    for (i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--log") == 0 && i + 1 < argc) logPath = argv[++i];
        else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) timeout = atoi(argv[++i]);
        else if (strcmp(argv[i], "--") == 0) { ++i; break; }
    }
    for (; i < argc; ++i) {
        strcat(command, "\"");
        strcat(command, argv[i]);
        strcat(command, "\" ");
    }
    if (!logPath || !command[0]) {
        fprintf(stderr, "usage: agent_watch --log FILE [--timeout S] -- PROGRAM [ARGS]\n");
        return 2;
    }
    g_log = fopen(logPath, "w");
    if (!g_log) return 2;

    QueryPerformanceFrequency(&g_frequency);
    QueryPerformanceCounter(&g_start);
    /* As a user runs it (tests/wine/user_token.h). */
    if (!StartProgram(command, 0, &pi)) {
        fprintf(g_log, "NOSTART %lu\n", GetLastError());
        return 2;
    }
    g_pid = pi.dwProcessId;
    for (;;) {
        PROCESS_MEMORY_COUNTERS counters;
        const DWORD wait = WaitForSingleObject(pi.hProcess, 10);
        memset(&counters, 0, sizeof counters);
        counters.cb = sizeof counters;
        if (GetProcessMemoryInfo(pi.hProcess, &counters, sizeof counters)) {
            ++samples;
            if (counters.PeakWorkingSetSize > peakWorkingSet) peakWorkingSet = counters.PeakWorkingSetSize;
            if (counters.WorkingSetSize > peakWorkingSet) peakWorkingSet = counters.WorkingSetSize;
            if (counters.PeakPagefileUsage > peakPagefile) peakPagefile = counters.PeakPagefileUsage;
            if (counters.PagefileUsage > peakPagefile) peakPagefile = counters.PagefileUsage;
        }
        if (wait != WAIT_TIMEOUT) break;
        g_windowAlive = 0;
        EnumWindows(Visit, 0);
        if (g_windowSeen && !g_windowAlive) {
            fprintf(g_log, "T %.1f GONE\n", Now());
            g_windowSeen = 0;
        }
        fflush(g_log);
        if (Now() > timeout * 1000.0) {
            fprintf(g_log, "TIMEOUT\n");
            TerminateProcess(pi.hProcess, 3);
            fclose(g_log);
            return 3;
        }
    }
    if (g_windowSeen) fprintf(g_log, "T %.1f GONE\n", Now());
    GetExitCodeProcess(pi.hProcess, &code);
    fprintf(g_log, "MEM peak_working_set=%llu peak_pagefile=%llu samples=%d\n", (unsigned long long)peakWorkingSet,
            (unsigned long long)peakPagefile, samples);
    fprintf(g_log, "EXIT %.1f %lu\n", Now(), code);
    fclose(g_log);
    return (int)code;
}
