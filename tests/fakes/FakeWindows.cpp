#include "fakes/FakeWindows.h"

#include <algorithm>

namespace orv::fakes {

FakeDownloadWindow::~FakeDownloadWindow() {
    if (owner.downloadWindow == this) owner.downloadWindow = nullptr;
}

void FakeDownloadWindow::Show() {
    visible = true;
    owner.journal.push_back("download window shown");
}

void FakeDownloadWindow::SetStatus(const std::string& text) {
    status = text;
    statusHistory.push_back(text);
    owner.journal.push_back("status " + text);
}

void FakeDownloadWindow::SetProgressValue(float value) {
    progressValue = value;
    highestProgress = std::max(highestProgress, value);
}

void FakeDownloadWindow::Destroy() {
    visible = false;
    destroyed = true;
    if (owner.downloadWindow == this) owner.downloadWindow = nullptr;
    owner.journal.push_back("download window destroyed");
}

FakeUpdateWindow::~FakeUpdateWindow() {
    if (owner.updateWindow == this) owner.updateWindow = nullptr;
}

void FakeUpdateWindow::Show() {
    visible = true;
    owner.journal.push_back("update window shown");
}

void FakeUpdateWindow::Refresh() {
    if (visible) painted = true;
    owner.journal.push_back("update window painted");
}

void FakeUpdateWindow::Destroy() {
    visible = false;
    destroyed = true;
    if (owner.updateWindow == this) owner.updateWindow = nullptr;
    owner.journal.push_back("update window destroyed");
}

std::unique_ptr<platform::DownloadWindowView> FakeWindowToolkit::CreateDownloadWindow(
    platform::DownloadWindowEvents& events) {
    auto w = std::make_unique<FakeDownloadWindow>(*this, events);
    downloadWindow = w.get();
    ++downloadWindowsCreated;
    journal.push_back("download window created");
    return w;
}

std::unique_ptr<platform::UpdateWindowView> FakeWindowToolkit::CreateUpdateWindow() {
    auto w = std::make_unique<FakeUpdateWindow>(*this);
    updateWindow = w.get();
    ++updateWindowsCreated;
    journal.push_back("update window created");
    return w;
}

void FakeWindowToolkit::DoEvents() {
    ++doEventsCalls;
    if (onDoEvents) onDoEvents(doEventsCalls);
    // Only what was queued before this call runs now; what the events queue runs next time.
    std::deque<std::function<void()>> now;
    now.swap(queue);
    while (!now.empty()) {
        auto event = std::move(now.front());
        now.pop_front();
        event();
    }
}

} // namespace orv::fakes
