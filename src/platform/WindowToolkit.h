// Window toolkit service: the agent's two windows with their controls, and the yield to the
// event loop. The core owns the windows' logic; the platform draws them and delivers their
// events to the handlers below.
#pragma once
#include <memory>
#include <string>

namespace orv::platform {

// Events of the download window, raised by the platform on the window's thread.
class DownloadWindowEvents {
public:
    virtual ~DownloadWindowEvents() = default;
    virtual void OnTick() = 0;
    virtual void OnCancelClicked() = 0;
    // The close box or the system asks the window to close.
    virtual void OnCloseRequested() = 0;
};

class DownloadWindowView {
public:
    virtual ~DownloadWindowView() = default;
    virtual void Show() = 0;
    virtual bool Visible() = 0;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetAmount(const std::string& text) = 0;
    virtual void SetTimeLeft(const std::string& text) = 0;
    virtual void SetProgressMax(float value) = 0;
    virtual void SetProgressValue(float value) = 0;
    // Destroys the window; no event is raised afterwards.
    virtual void Destroy() = 0;
};

class UpdateWindowView {
public:
    virtual ~UpdateWindowView() = default;
    virtual void Show() = 0;
    // Paints the whole window at once, without waiting for the event loop.
    virtual void Refresh() = 0;
    virtual void Destroy() = 0;
};

class WindowToolkit {
public:
    virtual ~WindowToolkit() = default;
    virtual std::unique_ptr<DownloadWindowView> CreateDownloadWindow(DownloadWindowEvents& events) = 0;
    virtual std::unique_ptr<UpdateWindowView> CreateUpdateWindow() = 0;
    // Dispatches all pending window events (timer ticks, clicks, close requests, transfer state
    // changes) and returns. Checking the event queue is costly, so DoEvents may skip the check
    // when it has already checked within the same tick of the system's clock: nothing is lost,
    // the events are dispatched at a later check. Code that is about to act on what an event
    // could change calls DoEventsNow.
    virtual void DoEvents() = 0;
    // The same, always checking the queue.
    virtual void DoEventsNow() = 0;
};

} // namespace orv::platform
