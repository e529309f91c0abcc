/* The download baseline: the least a WinINet program can do to fetch a file. Opens the URL with
   the system's proxy setting, reads it in 64 KB pieces and writes each straight to the file.

     mini_download.exe URL FILE

   Prints "bytes=<n> ms=<elapsed>", the time from InternetOpenA to the closed file, measured with
   the performance counter. Exit code 0 on a complete 2xx download, 1 otherwise. */
#include <windows.h>
#include <wininet.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    static char buffer[64 * 1024];
    LARGE_INTEGER frequency, start, end;
    HINTERNET session, request;
    HANDLE file;
    DWORD got, written, status = 0, size = sizeof status;
    unsigned long long total = 0;
    int ok = 1;

    if (argc != 3) {
        fprintf(stderr, "usage: mini_download URL FILE\n");
        return 2;
    }
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    session = InternetOpenA("mini_download", INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    if (!session) return 1;
    request = InternetOpenUrlA(session, argv[1], NULL, 0,
                               INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0);
    if (!request) {
        fprintf(stderr, "InternetOpenUrlA failed: %lu\n", GetLastError());
        return 1;
    }
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
    CloseHandle(file);
    InternetCloseHandle(request);
    InternetCloseHandle(session);
    QueryPerformanceCounter(&end);
    printf("bytes=%llu ms=%.1f\n", total, (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart);
    return ok ? 0 : 1;
}
