/* The start-up baseline: a program that does nothing but ask the shell to open one file.

     shell_open.exe PATH */
#include <windows.h>
#include <shellapi.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance; (void)previous; (void)show;
    /* The whole command line is the path, unquoted or in quotes. */
    char path[MAX_PATH * 2];
    size_t n;
    lstrcpynA(path, commandLine[0] == '"' ? commandLine + 1 : commandLine, sizeof path);
    n = strlen(path);
    while (n > 0 && path[n - 1] == ' ') path[--n] = '\0';
    if (n > 0 && path[n - 1] == '"') path[--n] = '\0';
    return (INT_PTR)ShellExecuteA(NULL, "open", path, NULL, NULL, SW_SHOWNORMAL) > 32 ? 0 : 1;
}
