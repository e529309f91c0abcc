/* Stands in, in the test prefix, for the programs that open .mde and .msi files: appends the
   path it was asked to open to opened.log beside itself, one line per call, and ends. */
#include <windows.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char log[MAX_PATH + 16];
    char line[4096];
    const char *args = GetCommandLineA();
    size_t n;
    DWORD written;
    HANDLE file;
    char *slash;
    (void)instance; (void)previous; (void)commandLine; (void)show;

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
    if (n > sizeof line - 3) n = sizeof line - 3;
    memcpy(line, args, n);
    line[n++] = '\r';
    line[n++] = '\n';

    GetModuleFileNameA(NULL, log, MAX_PATH);
    slash = strrchr(log, '\\');
    strcpy(slash ? slash + 1 : log, "opened.log");
    file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    WriteFile(file, line, (DWORD)n, &written, NULL);
    CloseHandle(file);
    return 0;
}
