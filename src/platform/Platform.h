// The set of platform services the core runs on. Whoever starts the agent (WinMain, or a test)
// builds one and hands it to the core.
#pragma once
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Hash.h"
#include "platform/Locale.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/TransferControl.h"
#include "platform/WindowToolkit.h"

namespace orv::platform {

struct Platform {
    Registry& registry;
    Profile& profile;
    Shell& shell;
    MessageBox& messageBox;
    WindowToolkit& windows;
    TransferFactory& transfer;
    FileSystem& files;
    Clock& clock;
    Locale& locale;
    Process& process;
    Hash& hash;
};

} // namespace orv::platform
