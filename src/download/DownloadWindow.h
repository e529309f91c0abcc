// The download window: fetches one file over HTTP with its transfer control, shows progress,
// amount, rate and time left, and saves the body at the end.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "common/Context.h"
#include "common/Windows.h"
#include "platform/TransferControl.h"
#include "platform/WindowToolkit.h"
#include "util/ByteBlocks.h"

namespace orv {

// Why a window is asked to close, as its close-request handler is told.
inline constexpr std::int32_t kUnloadFromControlMenu = 0;  // the close box or the system menu
inline constexpr std::int32_t kUnloadFromCode = 1;

class DownloadWindow : public Form, public platform::DownloadWindowEvents, public platform::TransferEvents {
public:
    explicit DownloadWindow(AgentContext& ctx);
    ~DownloadWindow() override;

    void Load() override;
    void Show() override;
    bool Loaded() const { return view_ != nullptr; }
    void SetCaption(const std::string& caption);
    // Runs OnClosing and destroys the window.
    void Unload(std::int32_t unloadMode = kUnloadFromCode);

    std::int32_t GetBufferUBound() const;
    // The memory the buffer holds (whole blocks).
    std::size_t BufferCapacity() const { return receivedData_.Capacity(); }
    // True while OnTransferStateChanged is at work on a response.
    bool Busy() const { return busy_; }

    // Event handlers, raised by the platform. An error that escapes one of them has nobody left
    // to handle it (Main has long returned): it is reported in the unhandled-error box and the
    // agent ends.
    void OnTransferStateChanged(std::int16_t state) override;
    void OnTick() override;
    void OnCancelClicked() override;
    void OnCloseRequested() override;
    void OnClosing(std::int32_t& cancel, std::int32_t unloadMode);

    platform::DownloadWindowView* View() { return view_.get(); }
    platform::TransferControl* Transfer() { return transfer_.get(); }

private:
    friend void StartDownload(AgentContext&, const Variant&, const Variant&, const Variant&);

    template <typename Handler> void RunHandler(Handler&& handler);
    void HandleStateChanged(std::int16_t state);
    void HandleTick();
    // Pumps the event loop; false when the window was closed (or loaded anew) meanwhile, after
    // which the caller must not touch the view, the request or the buffer again.
    bool Yield(std::uint32_t generation, bool now = false);
    // The read loop; false when the window went away during it.
    bool ReadBody(std::uint32_t generation);
    // The most body this download takes in: a body that passes it fails the transfer.
    std::int64_t BodyLimit();
    void UpdateProgress();
    // Empty when the body is the file whose SHA-256 the settings name; else why it is not.
    std::string CheckExpectedFile();
    void Complete();
    // Stops the request, tells the user what failed and closes the window; nothing is saved.
    void Fail(const platform::TransferFailure& failure);
    void Fail(const std::string& reason);
    void ForgetBody();

    AgentContext& ctx_;
    std::unique_ptr<platform::DownloadWindowView> view_;
    // Kept after the window unloads (only cancelled), so that a handler still on the stack never
    // meets a destroyed control; replaced when the window is loaded again.
    std::unique_ptr<platform::TransferControl> transfer_;
    // In blocks: the read-out copies the body out of the control's blocks, which the heap then
    // hands back for these, so the body costs fresh memory once, and is held about once.
    ByteBlocks receivedData_;
    std::int32_t lastTickMs_ = 0;
    std::int32_t lastUBound_ = 0;
    // The most body the current download takes in, as StartDownload gave it to the control.
    std::int64_t bodyLimit_ = 0;
    bool busy_ = false;
    // True from StartDownload until the request has been saved, has failed or was abandoned;
    // state changes outside that span (late ones after the end) are ignored.
    bool requestActive_ = false;
    // Counts the loads of the window, so that a handler waiting in a yield can tell a window
    // loaded anew from the one it started on.
    std::uint32_t generation_ = 0;
};

// The download window's single instance of the run, made when first asked for.
DownloadWindow& TheDownloadWindow(AgentContext& ctx);

} // namespace orv
