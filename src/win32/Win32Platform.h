// Every Windows service of the agent in one place, wired into the platform the core runs on.
// The message box is a parameter so a program without a user (a benchmark) can print instead.
#pragma once
#include "platform/Platform.h"
#include "win32/Win32Clock.h"
#include "win32/Win32FileSystem.h"
#include "win32/Win32Hash.h"
#include "win32/Win32Locale.h"
#include "win32/Win32MessageBox.h"
#include "win32/Win32Process.h"
#include "win32/Win32Profile.h"
#include "win32/Win32Registry.h"
#include "win32/Win32Shell.h"
#include "win32/Win32Transfer.h"
#include "win32/Win32WindowToolkit.h"

namespace orv::win32 {

template <typename MessageBoxService = Win32MessageBox> struct Win32Services {
    Win32Registry registry;
    Win32Profile profile;
    Win32Shell shell;
    MessageBoxService messageBox;
    Win32FileSystem files;
    Win32Clock clock;
    Win32Locale locale;
    Win32Process process;
    Win32Hash hash;
    Win32WindowToolkit windows;
    Win32TransferFactory transfer;
    platform::Platform platform{registry, profile, shell, messageBox, windows, transfer,
                                files,    clock,   locale, process, hash};
};

} // namespace orv::win32
