/* A library planted where the agent must never load one from (its own folder, the current
   folder), under the name of a system library. Loaded, it records that it was: one line with its
   own path, appended to planted.log in the folder named by ORVTEST_LOG_DIR. It exports nothing,
   so a program that uses it cannot work either. */
#include <windows.h>
#include <string.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    char log[MAX_PATH + 32], self[MAX_PATH];
    DWORD length, written;
    HANDLE file;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    length = GetEnvironmentVariableA("ORVTEST_LOG_DIR", log, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TRUE;
    strcat(log, "\\planted.log");
    length = GetModuleFileNameA(instance, self, MAX_PATH - 2);
    self[length++] = '\r';
    self[length++] = '\n';
    file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return TRUE;
    WriteFile(file, self, length, &written, NULL);
    CloseHandle(file);
    return TRUE;
}
