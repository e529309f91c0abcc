/* Runs programs to their end, in turn, several rounds, and prints the wall time of each run
   (from CreateProcess to the end of the process) in milliseconds, measured with the performance
   counter. Timing inside Wine leaves out the start of Wine itself, which both programs of a
   comparison would pay alike; taking them in turn spreads the machine's other load over both.

     run_timed.exe ROUNDS -- PROGRAM [ARGS] [-- PROGRAM [ARGS]]...

   Prints "prog <k> run <i> pid=<process id> ms=<time> exit=<code>" per run (a run that takes more than a
   minute is ended and reported as TIMEOUT). After each run it waits a little,
   so that whatever the program started through the shell is over before the next one. Each round
   starts with the next program in turn. */
#include <windows.h>
#include "../tests/wine/user_token.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_PROGRAMS 8

int main(int argc, char **argv)
{
    static char commands[MAX_PROGRAMS][4096];
    int programs = 0, rounds, i, k;
    LARGE_INTEGER frequency, start, end;

    if (argc < 4 || strcmp(argv[2], "--") != 0) {
        fprintf(stderr, "usage: run_timed ROUNDS -- PROGRAM [ARGS] [-- PROGRAM [ARGS]]...\n");
        return 2;
    }
    rounds = atoi(argv[1]);
    for (i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            if (programs == MAX_PROGRAMS) return 2;
            commands[programs++][0] = '\0';
            continue;
        }
        if (strlen(commands[programs - 1]) + strlen(argv[i]) + 4 >= sizeof commands[0]) return 2;
        strcat(commands[programs - 1], "\"");
        strcat(commands[programs - 1], argv[i]);
        strcat(commands[programs - 1], "\" ");
    }
    QueryPerformanceFrequency(&frequency);
    for (i = 1; i <= rounds; ++i) {
        int j;
        /* Each round starts with the next program: none always follows the same one (and what
           that one left running). */
        for (j = 0; j < programs; ++j) {
            PROCESS_INFORMATION pi;
            DWORD code = 0;
            char line[4096];
            k = (i - 1 + j) % programs;
            strcpy(line, commands[k]);
            QueryPerformanceCounter(&start);
            /* As a user runs it (tests/wine/user_token.h). */
            if (!StartProgram(line, 0, &pi)) {
                printf("prog %d run %d failed to start: %lu\n", k + 1, i, GetLastError());
                return 1;
            }
            if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
                /* Stuck (a message box nobody answers): no time to report. */
                TerminateProcess(pi.hProcess, 3);
                printf("prog %d run %d TIMEOUT\n", k + 1, i);
                return 1;
            }
            QueryPerformanceCounter(&end);
            GetExitCodeProcess(pi.hProcess, &code);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
            printf("prog %d run %d pid=%lu ms=%.2f exit=%lu\n", k + 1, i, pi.dwProcessId,
                   (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart, code);
            fflush(stdout);
            Sleep(400);
        }
    }
    return 0;
}
