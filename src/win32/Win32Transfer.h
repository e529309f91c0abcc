// The transfer control over WinINet: one HTTP GET at a time on a worker thread, its state
// changes delivered on the thread that created the control, through that thread's message loop.
#pragma once
#include <memory>

#include "platform/TransferControl.h"

namespace orv::win32 {

class Win32TransferFactory : public platform::TransferFactory {
public:
    // Controls must be created and used on a thread that runs a message loop (the window
    // thread): their events arrive as posted messages.
    std::unique_ptr<platform::TransferControl> CreateTransferControl(platform::TransferEvents& events) override;
    // Loads WinINet on a thread of its own, which then waits to run the first request.
    void Prepare() override;
};

} // namespace orv::win32
