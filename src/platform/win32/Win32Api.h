// The one way the Windows backend includes the Windows headers. Several platform methods share
// their names with the Windows headers' A/W switch macros (MessageBox, ShellExecute,
// GetSystemDirectory, GetPrivateProfileString, ReplaceFile, CopyFile, ...); left defined, those
// macros would silently rename our classes and methods in the backend only and break the link
// with the core. The backend always calls the narrow (A) functions by their full names.
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
#undef GetPrivateProfileString
#undef GetPrivateProfileInt
#undef ReplaceFile
#undef CopyFile
