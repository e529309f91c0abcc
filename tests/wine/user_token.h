/* Starts a program with the rights a user of this session runs it with, for every program of the
   tests, the demo and the benchmarks that starts the agent (or a baseline beside it).

   Under Wine every program started the usual way gets an administrator's token raised by
   elevation (TokenElevationTypeFull), with a linked limited token: every such run would look like
   an administrator who said yes to the elevation prompt, and the agent's run would end after
   provisioning. A primary copy of the linked token is what a standard user's run has on Windows
   with the prompt on (TokenElevationTypeLimited), so the program is started with that; a token
   that was never split (no linked token) is the user's own and is used as it is. Asked for the full
   token, the program is started with this process's own token.

   StartProgram(COMMAND-LINE, FULL, &PI): as CreateProcessA with no other options; FALSE with
   GetLastError() when the program, or the limited token, could not be had. */
#pragma once
#include <windows.h>
#include <string.h>

static BOOL StartProgram(char *commandLine, int fullToken, PROCESS_INFORMATION *pi)
{
    STARTUPINFOA si;
    HANDLE own = NULL, primary = NULL;
    TOKEN_LINKED_TOKEN linked;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0, error;
    BOOL started;

    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (!fullToken) {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return FALSE;
        if (!GetTokenInformation(own, TokenElevationType, &type, sizeof type, &size)) type = TokenElevationTypeDefault;
    }
    if (fullToken || type != TokenElevationTypeFull) {
        if (own) CloseHandle(own);
        return CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, pi);
    }
    linked.LinkedToken = NULL;
    started = GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size) &&
              DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, NULL, SecurityImpersonation, TokenPrimary, &primary) &&
              CreateProcessAsUserA(primary, NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, pi);
    error = GetLastError();
    if (primary) CloseHandle(primary);
    if (linked.LinkedToken) CloseHandle(linked.LinkedToken);
    CloseHandle(own);
    SetLastError(error);
    return started;
}
