#pragma once
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/FakeSupport.h"
#include "platform/WindowToolkit.h"

namespace orv::fakes {

class FakeWindowToolkit;

class FakeDownloadWindow : public platform::DownloadWindowView {
public:
    FakeDownloadWindow(FakeWindowToolkit& owner, platform::DownloadWindowEvents& events)
        : owner(owner), events(events) {}
    ~FakeDownloadWindow() override;
    void Show() override;
    bool Visible() override { return visible; }
    void SetCaption(const std::string& text) override { caption = text; }
    void SetStatus(const std::string& text) override;
    void SetAmount(const std::string& text) override { amount = text; }
    void SetTimeLeft(const std::string& text) override { timeLeft = text; }
    void SetProgressMax(float value) override { progressMax = value; }
    void SetProgressValue(float value) override;
    void Destroy() override;

    FakeWindowToolkit& owner;
    platform::DownloadWindowEvents& events;
    std::string caption = "File download", status, amount, timeLeft;
    float progressMax = 100.0f, progressValue = 0.0f, highestProgress = 0.0f;
    bool visible = false, destroyed = false;
    std::vector<std::string> statusHistory;
};

class FakeUpdateWindow : public platform::UpdateWindowView {
public:
    explicit FakeUpdateWindow(FakeWindowToolkit& owner) : owner(owner) {}
    ~FakeUpdateWindow() override;
    void Show() override;
    void Refresh() override;
    void Destroy() override;
    FakeWindowToolkit& owner;
    bool visible = false, painted = false, destroyed = false;
};

class FakeWindowToolkit : public platform::WindowToolkit {
public:
    explicit FakeWindowToolkit(Journal& journal) : journal(journal) {}
    std::unique_ptr<platform::DownloadWindowView> CreateDownloadWindow(platform::DownloadWindowEvents& events) override;
    std::unique_ptr<platform::UpdateWindowView> CreateUpdateWindow() override;
    // Runs `onDoEvents` (with the number of this call, from 1), then every queued event.
    void DoEvents() override;
    // The fake never skips the check of its queue: the same as DoEvents, counted apart too.
    void DoEventsNow() override {
        ++doEventsNowCalls;
        DoEvents();
    }
    // Queues an event to run at the next DoEvents, as a posted message would.
    void Post(std::function<void()> event) { queue.push_back(std::move(event)); }

    Journal& journal;
    FakeDownloadWindow* downloadWindow = nullptr;  // the live one, if any
    FakeUpdateWindow* updateWindow = nullptr;
    int downloadWindowsCreated = 0, updateWindowsCreated = 0, doEventsCalls = 0, doEventsNowCalls = 0;
    std::function<void(int)> onDoEvents;
    std::deque<std::function<void()>> queue;
    bool OpenWindows() const { return downloadWindow != nullptr || updateWindow != nullptr; }
};

} // namespace orv::fakes
