/* Stands in, in the test prefix, for the programs that the agent starts, and records how it was
   started, one line per call:
     * as the program that opens .mde and .msi files: the path it was asked to open (without the
       quotes around it), appended to opened.log;
     * installed as regsvr32.exe: the path it was started from, "|", and its whole command line,
       exactly as the agent gave it, appended to registered.log (so a regsvr32 started from the
       wrong folder is seen).
   The logs go to the folder named by the ORVTEST_LOG_DIR environment variable, or else beside
   the program itself. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static void Record(const char *name, const char *text, size_t n)
{
    char log[MAX_PATH + 32];
    char line[4096];
    DWORD length = GetEnvironmentVariableA("ORVTEST_LOG_DIR", log, MAX_PATH);
    DWORD written;
    HANDLE file;
    if (length == 0 || length >= MAX_PATH) {
        char *slash;
        GetModuleFileNameA(NULL, log, MAX_PATH);
        slash = strrchr(log, '\\');
        if (slash) slash[1] = '\0';
        else log[0] = '\0';
    } else if (log[length - 1] != '\\') {
        strcat(log, "\\");
    }
    strcat(log, name);
    if (n > sizeof line - 3) n = sizeof line - 3;
    memcpy(line, text, n);
    line[n++] = '\r';
    line[n++] = '\n';
    /* Appends are atomic, so two recorders running at once do not mix their lines. */
    file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    WriteFile(file, line, (DWORD)n, &written, NULL);
    CloseHandle(file);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char self[MAX_PATH];
    const char *base, *args = GetCommandLineA();
    size_t n;
    (void)instance; (void)previous; (void)commandLine; (void)show;

    GetModuleFileNameA(NULL, self, MAX_PATH);
    base = strrchr(self, '\\');
    base = base ? base + 1 : self;
    if (lstrcmpiA(base, "regsvr32.exe") == 0) {
        char line[MAX_PATH + 4096];
        _snprintf(line, sizeof line, "%s|%s", self, args);
        line[sizeof line - 1] = '\0';
        Record("registered.log", line, strlen(line));
        return 0;
    }

    /* Skip our own name, quoted or not. */
    if (*args == '"') {
        args = strchr(args + 1, '"');
        args = args ? args + 1 : "";
    } else {
        while (*args && *args != ' ') ++args;
    }
    while (*args == ' ') ++args;
    n = strlen(args);
    while (n > 0 && args[n - 1] == ' ') --n;
    if (n >= 2 && args[0] == '"' && args[n - 1] == '"') {
        ++args;
        n -= 2;
    }
    Record("opened.log", args, n);
    return 0;
}
