/* The tests' user at the keyboard. Starts a program, watches its top-level windows (its own
   forms and its message boxes), writes what they show to a log as it changes, and acts on them
   by rules: press a named button, ask for the close box, ask for a screenshot.

     uidriver.exe --log FILE [--timeout SECONDS] [--shotdir DIR] [--full-token]
                  [--on TITLE-PATTERN TEXT-PATTERN ACTIONS]... -- PROGRAM [ARGS]

   The program runs as a standard user runs it, with the limited token (user_token.h);
   --full-token starts it with the driver's own token, which under Wine is an administrator's
   raised by elevation.

   Patterns use * and ?. A window's text is its static texts joined by " / ", with a carriage
   return written as \r and a line feed as \n, so that a test sees the exact line breaks.
   ACTIONS is a comma-separated list: press:NAME (Yes, No, OK, Cancel, ...), close, sleep:MS,
   shot:NAME, holdatbar (wait until the window's progress bar has moved off 0 and hold the
   program's threads still at once; thaw lets them go on), freeze:MS (hold
   the program's threads still, and wait MS ms), thaw (let them go on), thawtochange (let them go on
   until the window's texts change, and hold them still again), thawuntil:PATTERN (the same until
   its texts match PATTERN), look (log the window as it
   is now, as LOOK <class>|<title>|<texts>|<buttons>), key:KEYS (type keys as the user would,
   through SendInput to whichever window has the keyboard: Escape, Return, Space, Tab, F4, or
   Alt+F4 and the like), focus (log which control of the program has the keyboard focus, as
   FOCUS <class>|<text>|foreground or |background, whether its window is the foreground one),
   and "every" (the rule may fire again on
   later windows). A program held still can still be looked at, and what is posted to it waits. A rule fires once, on the
   first window that matches it, unless it says "every"; at most one rule acts on a window per
   look, and once a rule has pressed a button of a window or closed it, no other rule acts on
   that window.
   A shot writes NAME into DIR\request.txt and waits until the file is gone (the test's shell
   takes the screenshot and deletes it).

   Log lines: SHOW/CHANGE <class>|<title>|<texts>|<buttons>, GONE <class>|<title>,
   HIDDEN <class>|<title> (a form of the program that exists unseen) and UNHIDDEN <class>|<title>
   (it is shown or gone), DO <action> (on <title>), FOCUS, ENDED <ms> (from the last action to the
   program's end), EXIT <code>, or TIMEOUT. The driver's exit code is the program's,
   or 3 on a time-out. */
#include <windows.h>
#include "user_token.h"
#include <commctrl.h>
#include <tlhelp32.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_RULES 32
#define MAX_WINDOWS 32
#define TEXT_SIZE 4096

struct Rule {
    const char *title, *text, *actions;
    int fired;
};

struct Seen {
    HWND window;
    char desc[TEXT_SIZE];
    char cls[64], title[256];
    int alive;
    int handled; /* a rule has answered this window (press or close): no other rule acts on it */
};

static FILE *g_log;
static DWORD g_pid;
static const char *g_shotdir;
static struct Rule g_rules[MAX_RULES];
static int g_ruleCount;
static struct Seen g_seen[MAX_WINDOWS];
static int g_seenCount;
static DWORD g_lastActionAt; /* tick count of the last action, 0 when none */

static void Log(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vfprintf(g_log, format, args);
    va_end(args);
    fputc('\n', g_log);
    fflush(g_log);
}

static int Match(const char *pattern, const char *text)
{
    if (*pattern == '\0') return *text == '\0';
    if (*pattern == '*') return Match(pattern + 1, text) || (*text && Match(pattern, text + 1));
    if (*text && (*pattern == '?' || *pattern == *text)) return Match(pattern + 1, text + 1);
    return 0;
}

static void Append(char *out, size_t size, const char *text)
{
    size_t n = strlen(out);
    for (; *text && n + 3 < size; ++text) {
        if (*text == '\r' || *text == '\n') {
            out[n++] = '\\';
            out[n++] = *text == '\r' ? 'r' : 'n';
        } else {
            out[n++] = *text;
        }
    }
    out[n] = '\0';
}

struct Children {
    char texts[TEXT_SIZE];
    char buttons[512];
};

static BOOL CALLBACK CollectChild(HWND child, LPARAM param)
{
    struct Children *c = (struct Children *)param;
    char cls[64], text[TEXT_SIZE];
    if (!IsWindowVisible(child)) return TRUE;
    GetClassNameA(child, cls, sizeof cls);
    GetWindowTextA(child, text, sizeof text);
    if (lstrcmpiA(cls, "Static") == 0) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return TRUE;
        if (c->texts[0]) Append(c->texts, sizeof c->texts, " / ");
        Append(c->texts, sizeof c->texts, text);
    } else if (lstrcmpiA(cls, "Button") == 0) {
        Append(c->buttons, sizeof c->buttons, "[");
        Append(c->buttons, sizeof c->buttons, text);
        Append(c->buttons, sizeof c->buttons, "]");
    }
    return TRUE;
}

static void Describe(HWND window, char *cls, char *title, char *texts, char *desc)
{
    struct Children c;
    c.texts[0] = c.buttons[0] = '\0';
    GetClassNameA(window, cls, 64);
    GetWindowTextA(window, title, 256);
    EnumChildWindows(window, CollectChild, (LPARAM)&c);
    strcpy(texts, c.texts);
    _snprintf(desc, TEXT_SIZE, "%s|%s|%s|%s", cls, title, c.texts, c.buttons);
    desc[TEXT_SIZE - 1] = '\0';
}

struct FindButton {
    const char *name;
    HWND button;
};

static BOOL CALLBACK FindButtonProc(HWND child, LPARAM param)
{
    struct FindButton *f = (struct FindButton *)param;
    char cls[64], text[256], plain[256];
    int i, j = 0;
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, "Button") != 0) return TRUE;
    GetWindowTextA(child, text, sizeof text);
    for (i = 0; text[i] && j < 255; ++i)
        if (text[i] != '&') plain[j++] = text[i];
    plain[j] = '\0';
    if (lstrcmpiA(plain, f->name) == 0) {
        f->button = child;
        return FALSE;
    }
    return TRUE;
}

/* Suspends (or resumes) every thread of the agent. A screenshot takes longer than the agent
   may need to finish what is on screen: held still, it can neither move on unseen nor close its
   window before the picture is taken, and the driver misses none of its states. */
#define MAX_THREADS 64

/* Opens the agent's threads for suspending and resuming; returns how many. */
static int OpenAgentThreads(HANDLE *threads)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry;
    int count = 0;
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    entry.dwSize = sizeof entry;
    if (Thread32First(snapshot, &entry)) {
        do {
            if (entry.th32OwnerProcessID == g_pid && count < MAX_THREADS) {
                threads[count] = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
                if (threads[count]) ++count;
            }
        } while (Thread32Next(snapshot, &entry));
    }
    CloseHandle(snapshot);
    return count;
}

static void HoldAgent(int hold)
{
    HANDLE threads[MAX_THREADS];
    int count = OpenAgentThreads(threads), i;
    for (i = 0; i < count; ++i) {
        if (hold) SuspendThread(threads[i]);
        else ResumeThread(threads[i]);
        CloseHandle(threads[i]);
    }
}

static void Shot(const char *name)
{
    char path[MAX_PATH];
    FILE *f;
    int waited;
    if (!g_shotdir) return;
    Sleep(150); /* let the window finish painting */
    _snprintf(path, sizeof path, "%s\\request.txt", g_shotdir);
    f = fopen(path, "w");
    if (!f) return;
    fprintf(f, "%s\n", name);
    fclose(f);
    HoldAgent(1);
    for (waited = 0; waited < 10000 && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; waited += 50) Sleep(50);
    HoldAgent(0);
}

/* Waits (at most 10 s) until the progress bar of the window shows a position above 0, and holds
   the program still at once: its threads are found beforehand, so that nothing of a read-out that
   lasts a few milliseconds goes by between the two. */
static void HoldAtBar(HWND window)
{
    HANDLE threads[MAX_THREADS];
    int count = OpenAgentThreads(threads), i;
    HWND bar = FindWindowExA(window, NULL, "msctls_progress32", NULL);
    DWORD_PTR position = 0;
    DWORD start = GetTickCount();
    while (bar && GetTickCount() - start < 10000) {
        if (SendMessageTimeoutA(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 200, &position) && position > 0) break;
        Sleep(0);
    }
    for (i = 0; i < count; ++i) {
        SuspendThread(threads[i]);
        CloseHandle(threads[i]);
    }
    if (position == 0) Log("NOBAR");
}

/* Lets the held program go on, watches the window's texts closely, and holds the program still
   again as soon as they change, or match `pattern` when one is given (at most 5 s later). */
static void ThawUntil(HWND window, const char *pattern)
{
    char cls[64], title[256], texts[TEXT_SIZE], before[TEXT_SIZE], now[TEXT_SIZE];
    HANDLE threads[MAX_THREADS];
    /* The threads are found before they go on, so that holding them again is at once. */
    int count = OpenAgentThreads(threads), i;
    DWORD start;
    Describe(window, cls, title, texts, before);
    for (i = 0; i < count; ++i) ResumeThread(threads[i]);
    for (start = GetTickCount(); GetTickCount() - start < 5000;) {
        Describe(window, cls, title, texts, now);
        if (pattern ? Match(pattern, texts) : strcmp(now, before) != 0) break;
    }
    for (i = 0; i < count; ++i) {
        SuspendThread(threads[i]);
        CloseHandle(threads[i]);
    }
}

/* Types KEYS ("Escape", "Alt+F4"): the keys go down in order and come up in reverse order, as
   hardware input, to whichever window has the keyboard. */
static void Keys(const char *keys)
{
    static const struct { const char *name; WORD vk; } names[] = {
        {"Escape", VK_ESCAPE}, {"Return", VK_RETURN}, {"Space", VK_SPACE}, {"Tab", VK_TAB},
        {"Alt", VK_MENU}, {"F4", VK_F4},
    };
    INPUT inputs[8];
    WORD vks[4];
    char list[64], *name, *next;
    int count = 0, i, j;
    lstrcpynA(list, keys, sizeof list);
    for (name = list; name && *name && count < 4; name = next) {
        next = strchr(name, '+');
        if (next) *next++ = '\0';
        for (j = 0; j < (int)(sizeof names / sizeof names[0]); ++j)
            if (strcmp(names[j].name, name) == 0) break;
        if (j == (int)(sizeof names / sizeof names[0])) {
            Log("NOKEY %s", name);
            return;
        }
        vks[count++] = names[j].vk;
    }
    memset(inputs, 0, sizeof inputs);
    for (i = 0; i < count; ++i) {
        inputs[i].type = inputs[2 * count - 1 - i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = inputs[2 * count - 1 - i].ki.wVk = vks[i];
        inputs[i].ki.wScan = inputs[2 * count - 1 - i].ki.wScan = (WORD)MapVirtualKeyA(vks[i], MAPVK_VK_TO_VSC);
        inputs[2 * count - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    if (SendInput((UINT)(2 * count), inputs, sizeof inputs[0]) != (UINT)(2 * count)) Log("NOINPUT %lu", GetLastError());
}

/* Logs the control that has the keyboard focus in the thread of WINDOW. */
static void Focus(HWND window)
{
    GUITHREADINFO info;
    char cls[64] = "", text[256] = "";
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info) || !info.hwndFocus) {
        Log("FOCUS none");
        return;
    }
    GetClassNameA(info.hwndFocus, cls, sizeof cls);
    GetWindowTextA(info.hwndFocus, text, sizeof text);
    Log("FOCUS %s|%s|%s", cls, text,
        GetForegroundWindow() == GetAncestor(info.hwndFocus, GA_ROOT) ? "foreground" : "background");
}

static void Act(HWND window, const char *title, const char *actions)
{
    char list[512], *action, *next;
    lstrcpynA(list, actions, sizeof list);
    for (action = list; action && *action; action = next) {
        next = strchr(action, ',');
        if (next) *next++ = '\0';
        if (strcmp(action, "every") == 0) continue;
        Log("DO %s (on %s)", action, title);
        g_lastActionAt = GetTickCount();
        if (strncmp(action, "press:", 6) == 0) {
            struct FindButton f = {action + 6, NULL};
            EnumChildWindows(window, FindButtonProc, (LPARAM)&f);
            if (f.button)
                PostMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(f.button), BN_CLICKED), (LPARAM)f.button);
            else
                Log("NOBUTTON %s", action + 6);
        } else if (strcmp(action, "close") == 0) {
            PostMessageA(window, WM_CLOSE, 0, 0);
        } else if (strncmp(action, "sleep:", 6) == 0) {
            Sleep((DWORD)atoi(action + 6));
        } else if (strncmp(action, "shot:", 5) == 0) {
            Shot(action + 5);
        } else if (strcmp(action, "holdatbar") == 0) {
            HoldAtBar(window);
        } else if (strncmp(action, "freeze:", 7) == 0) {
            HoldAgent(1);
            Sleep((DWORD)atoi(action + 7));
        } else if (strcmp(action, "thaw") == 0) {
            HoldAgent(0);
        } else if (strcmp(action, "thawtochange") == 0) {
            ThawUntil(window, NULL);
        } else if (strncmp(action, "thawuntil:", 10) == 0) {
            ThawUntil(window, action + 10);
        } else if (strncmp(action, "key:", 4) == 0) {
            Keys(action + 4);
        } else if (strcmp(action, "focus") == 0) {
            Focus(window);
        } else if (strcmp(action, "look") == 0) {
            char cls[64], titleNow[256], texts[TEXT_SIZE], desc[TEXT_SIZE];
            Describe(window, cls, titleNow, texts, desc);
            Log("LOOK %s", desc);
        } else if (strcmp(action, "every") != 0) {
            Log("NOACTION %s", action);
        }
    }
}

static int Watched(HWND window)
{
    char cls[64];
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != g_pid || !IsWindowVisible(window)) return 0;
    GetClassNameA(window, cls, sizeof cls);
    return strcmp(cls, "#32770") == 0 || strncmp(cls, "Orvastell", 9) == 0;
}

/* A form of the program that exists without being shown (class Orvastell...Form): logged as
   HIDDEN when first seen so, and as UNHIDDEN once it is shown or gone, so that a test can tell
   that a form which failed to be made left no window behind. */
struct Hidden {
    HWND window;
    char cls[64], title[256];
    int alive;
};
static struct Hidden g_hidden[MAX_WINDOWS];
static int g_hiddenCount;

static void NoteHiddenForm(HWND window)
{
    char cls[64];
    DWORD pid = 0;
    size_t n;
    int i;
    GetWindowThreadProcessId(window, &pid);
    if (pid != g_pid || IsWindowVisible(window)) return;
    GetClassNameA(window, cls, sizeof cls);
    n = strlen(cls);
    if (strncmp(cls, "Orvastell", 9) != 0 || n < 4 || strcmp(cls + n - 4, "Form") != 0) return;
    for (i = 0; i < g_hiddenCount; ++i)
        if (g_hidden[i].window == window) break;
    if (i == g_hiddenCount) {
        if (g_hiddenCount == MAX_WINDOWS) return;
        ++g_hiddenCount;
        g_hidden[i].window = window;
        strcpy(g_hidden[i].cls, cls);
        GetWindowTextA(window, g_hidden[i].title, sizeof g_hidden[i].title);
        Log("HIDDEN %s|%s", cls, g_hidden[i].title);
    }
    g_hidden[i].alive = 1;
}

static BOOL CALLBACK Visit(HWND window, LPARAM param)
{
    char cls[64], title[256], texts[TEXT_SIZE], desc[TEXT_SIZE];
    int i;
    (void)param;
    NoteHiddenForm(window);
    if (!Watched(window)) return TRUE;
    Describe(window, cls, title, texts, desc);
    for (i = 0; i < g_seenCount; ++i)
        if (g_seen[i].window == window) break;
    if (i == g_seenCount) {
        if (g_seenCount == MAX_WINDOWS) return TRUE;
        ++g_seenCount;
        g_seen[i].window = window;
        g_seen[i].desc[0] = '\0';
        g_seen[i].handled = 0;
        Log("SHOW %s", desc);
    } else if (strcmp(g_seen[i].desc, desc) != 0) {
        Log("CHANGE %s", desc);
    }
    strcpy(g_seen[i].desc, desc);
    strcpy(g_seen[i].cls, cls);
    strcpy(g_seen[i].title, title);
    g_seen[i].alive = 1;

    if (g_seen[i].handled) return TRUE;
    for (i = 0; i < g_ruleCount; ++i) {
        struct Rule *r = &g_rules[i];
        if (r->fired || !Match(r->title, title) || !Match(r->text, texts)) continue;
        r->fired = strncmp(r->actions, "every", 5) != 0;
        if (strstr(r->actions, "press:") || strstr(r->actions, "close"))
            for (i = 0; i < g_seenCount; ++i)
                if (g_seen[i].window == window) g_seen[i].handled = 1;
        Act(window, title, r->actions);
        break;
    }
    return TRUE;
}

/* The programs the agent has started (through the shell, or regsvr32) run on after it: wait for
   them, so that what they record is complete when the driver ends. */
static void WaitForChildren(DWORD parent)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    if (snapshot == INVALID_HANDLE_VALUE) return;
    entry.dwSize = sizeof entry;
    if (Process32First(snapshot, &entry)) {
        do {
            if (entry.th32ParentProcessID == parent && entry.th32ProcessID != parent) {
                HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
                if (child) {
                    if (WaitForSingleObject(child, 10000) == WAIT_TIMEOUT) Log("CHILD %s still running", entry.szExeFile);
                    CloseHandle(child);
                }
            }
        } while (Process32Next(snapshot, &entry));
    }
    CloseHandle(snapshot);
}

static void Scan(void)
{
    int i, j;
    for (i = 0; i < g_seenCount; ++i) g_seen[i].alive = 0;
    for (i = 0; i < g_hiddenCount; ++i) g_hidden[i].alive = 0;
    EnumWindows(Visit, 0);
    for (i = 0, j = 0; i < g_hiddenCount; ++i) {
        if (!g_hidden[i].alive) {
            Log("UNHIDDEN %s|%s", g_hidden[i].cls, g_hidden[i].title);
            continue;
        }
        if (i != j) g_hidden[j] = g_hidden[i];
        ++j;
    }
    g_hiddenCount = j;
    for (i = 0, j = 0; i < g_seenCount; ++i) {
        if (!g_seen[i].alive) {
            Log("GONE %s|%s", g_seen[i].cls, g_seen[i].title);
            continue;
        }
        if (i != j) g_seen[j] = g_seen[i];
        ++j;
    }
    g_seenCount = j;
}

int main(int argc, char **argv)
{
    const char *logPath = NULL;
    int timeout = 60, fullToken = 0, i;
    char command[4096] = "";
    PROCESS_INFORMATION pi;
    DWORD start, code = 0;

    for (i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--log") == 0 && i + 1 < argc) logPath = argv[++i];
        else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) timeout = atoi(argv[++i]);
        else if (strcmp(argv[i], "--shotdir") == 0 && i + 1 < argc) g_shotdir = argv[++i];
        else if (strcmp(argv[i], "--full-token") == 0) fullToken = 1;
        else if (strcmp(argv[i], "--on") == 0 && i + 3 < argc && g_ruleCount < MAX_RULES) {
            g_rules[g_ruleCount].title = argv[i + 1];
            g_rules[g_ruleCount].text = argv[i + 2];
            g_rules[g_ruleCount].actions = argv[i + 3];
            ++g_ruleCount;
            i += 3;
        } else if (strcmp(argv[i], "--") == 0) {
            ++i;
            break;
        }
    }
    for (; i < argc; ++i) {
        strcat(command, "\"");
        strcat(command, argv[i]);
        strcat(command, "\" ");
    }
    if (!logPath || !command[0]) {
        fprintf(stderr, "usage: uidriver --log FILE [--timeout S] [--shotdir DIR] [--full-token] [--on T X ACTIONS]... "
                        "-- PROGRAM\n");
        return 2;
    }
    g_log = fopen(logPath, "wb"); /* lines end with LF alone, like the tests expect */
    if (!g_log) return 2;

    if (!StartProgram(command, fullToken, &pi)) {
        Log("NOSTART %lu", GetLastError());
        return 2;
    }
    g_pid = pi.dwProcessId;
    start = GetTickCount();
    while (WaitForSingleObject(pi.hProcess, 10) == WAIT_TIMEOUT) {
        Scan();
        if (GetTickCount() - start > (DWORD)timeout * 1000) {
            Log("TIMEOUT");
            TerminateProcess(pi.hProcess, 3);
            return 3;
        }
    }
    if (g_lastActionAt) Log("ENDED %lu", GetTickCount() - g_lastActionAt);
    Scan();
    GetExitCodeProcess(pi.hProcess, &code);
    WaitForChildren(pi.dwProcessId);
    Log("EXIT %lu", code);
    fclose(g_log);
    return (int)code;
}
