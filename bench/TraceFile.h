/* The baseline programs' trace file, in the format of the traced Orvastell.exe's (which writes its
   own through the backend's owning handle types). */
#ifndef ORV_BENCH_TRACE_FILE_H
#define ORV_BENCH_TRACE_FILE_H
#include <windows.h>

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
