/* locker.exe FILE: holds FILE open with no sharing, as another program using the front-end would,
   until FILE.release appears (or a minute has passed). FILE.locked appears once it holds it. */
#include <windows.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    char marker[MAX_PATH + 16];
    HANDLE file;
    FILE *f;
    int waited;
    if (argc != 2) return 2;
    file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 1;
    _snprintf(marker, sizeof marker, "%s.locked", argv[1]);
    f = fopen(marker, "w");
    if (f) fclose(f);
    _snprintf(marker, sizeof marker, "%s.release", argv[1]);
    for (waited = 0; waited < 60000 && GetFileAttributesA(marker) == INVALID_FILE_ATTRIBUTES; waited += 50) Sleep(50);
    CloseHandle(file);
    return 0;
}
