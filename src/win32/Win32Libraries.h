// Where the agent's libraries come from: the system, never a folder that others may write.
#pragma once
#include "win32/Win32Api.h"

namespace orv::win32 {

// Limits the search for every library loaded by name, by the agent or by the system on its
// behalf, to the system folder; to be called first thing. Where the system cannot (Windows 7
// without its update KB2533623), the current folder at least is taken out of the search.
void RestrictLibrarySearch();

// Loads a library of the system by its name, from the system folder only (or from the
// side-by-side store, where the active activation context sends it there). Null when it cannot
// be loaded. Never freed: what the callers take from it (functions, window classes) is used for
// the life of the process.
HMODULE LoadSystemLibrary(const char* name);

} // namespace orv::win32
