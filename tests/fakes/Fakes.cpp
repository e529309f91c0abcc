#include "fakes/Fakes.h"

namespace orv::fakes {

FakePlatform::FakePlatform(FakeLocale::Kind kind)
    : locale(kind),
      platform{registry, profile, shell, messageBox, windows, transfer, files, clock, locale, process, hash},
      ctx(platform, RuntimeSource{"http://downloads.quenlark.com/downloads/runtime/ACCESSRT.CAB", "", ""}) {
    files.AddFolder(files.windowsFolder);
    files.AddFolder(shell.systemDirectory);
    files.AddFolder(shell.wow64Directory);
    files.AddFolder(process.applicationFolder);
    transfer.windows = &windows;
}

} // namespace orv::fakes
