// The one way the Windows backend includes the Windows headers. Several platform methods share
// their names with the Windows headers' A/W switch macros (MessageBox, ShellExecute,
// GetSystemDirectory, GetSystemWow64Directory, GetPrivateProfileString, ReplaceFile, CopyFile,
// ...); left defined, those macros would silently rename our classes and methods in the backend
// only and break the link with the core. The backend always calls the narrow (A) functions by their full names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>
#include <shellapi.h>

#undef MessageBox
#undef ShellExecute
#undef GetSystemDirectory
#undef GetSystemWow64Directory
#undef GetPrivateProfileString
#undef GetPrivateProfileInt
#undef ReplaceFile
#undef CopyFile

#include <type_traits>

namespace orv::win32 {

// The address of a function that `module` exports, typed as the Windows headers declare that
// function (pass decltype(&::Function)): the calling convention and the arguments come from the
// declaration, never from a type written out by hand, so a 32-bit build cannot call it wrongly.
// Null when the module or the function is missing.
template <typename Declared> Declared ProcAddress(HMODULE module, const char* name) {
    static_assert(std::is_pointer_v<Declared> && std::is_function_v<std::remove_pointer_t<Declared>>);
    const FARPROC proc = module ? ::GetProcAddress(module, name) : nullptr;
    // FARPROC to the declared type, through the plain function-pointer type that every compiler
    // accepts as a cast target.
    return reinterpret_cast<Declared>(reinterpret_cast<void (*)()>(proc));
}

} // namespace orv::win32

// The exported function `name` of `module`, with its declared type: the name and the type
// cannot disagree.
#define ORV_PROC_ADDRESS(module, name) ::orv::win32::ProcAddress<decltype(&::name)>((module), #name)
