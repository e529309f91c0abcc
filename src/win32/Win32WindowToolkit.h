// The window toolkit on Win32: the agent's two windows as real Win32 windows
// (Win32DownloadWindow.cpp, Win32UpdateWindow.cpp), the yield to the event loop, and the message
// loop that keeps the program alive while a window of the agent is open (Win32MessageLoop.cpp).
#pragma once
#include <functional>
#include <memory>

#include "platform/WindowToolkit.h"
#include "win32/Win32Handles.h"

namespace orv::win32 {

class Win32WindowToolkit : public platform::WindowToolkit {
public:
    std::unique_ptr<platform::DownloadWindowView> CreateDownloadWindow(platform::DownloadWindowEvents& events) override;
    std::unique_ptr<platform::UpdateWindowView> CreateUpdateWindow() override;
    // Dispatches every message waiting in the thread's queue, then returns. An error that a
    // handler raised while dispatching is raised again here.
    void DoEvents() override;
    void DoEventsNow() override;

    // True while a window of the agent exists (loaded, shown or not).
    bool AnyWindowOpen() const;
    // Runs the message loop until no window of the agent is left. An error raised by an event
    // handler ends the loop and is raised again to the caller.
    void PumpUntilNoWindows();

private:
    HWND HiddenOwner();

    unsigned long long lastCheckMs_ = 0;  // the tick count when the queue was last checked
    UniqueWindow hiddenOwner_;
};

// Runs one of the core's event handlers from inside a window procedure. An error must not
// unwind through the system's frames, so one that escapes is kept and raised again by the next
// DoEvents or by PumpUntilNoWindows, on the same thread, outside any window procedure. Once an
// error is waiting, further handlers are skipped: the run is about to end.
void RunEventHandler(const std::function<void()>& handler);
// Raises the error kept by RunEventHandler, if any.
void RaisePendingHandlerError();

} // namespace orv::win32
