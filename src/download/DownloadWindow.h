// The download window: fetches one file over HTTP with its transfer control, shows progress,
// amount, rate and time left, and saves the body at the end.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "common/AgentWindow.h"
#include "common/Context.h"
#include "platform/Hash.h"
#include "platform/TransferControl.h"
#include "platform/WindowToolkit.h"
#include "util/ByteBlocks.h"

namespace orv {

// Where the download window is in its life. Only Connecting, Receiving and ReadingOut have a
// request under way: a state change of the control that arrives in any other phase (a late one of
// a request that has ended, or one for a window already closed) is ignored.
enum class DownloadPhase {
    Closed,      // not loaded: before the first load and after every unload
    Idle,        // loaded, no download started on it yet
    Connecting,  // the request has gone out; no response has come yet
    Receiving,   // a response has come; waiting until the control has finished with it
    ReadingOut,  // taking the body out of the control, chunk by chunk
    Saving,      // the body arrived whole and passed its checks: it is being written to the target
    Saved,       // the body is written to the target
    Failed,      // the request failed, its body was refused or could not be written: the user is
                 // told, nothing is saved
};

// What one download works with, taken once when it starts, from the arguments of Start and the
// settings: from then on the download reads only this, whatever is done to the settings.
struct DownloadRequest {
    std::string address;  // what is asked for
    std::string target;   // where the body is saved
    // The size expected, in KB: the bar's maximum, the basis of the time left (0: none shown) and
    // of the most body taken in.
    float expectedKB = 0;
    std::int64_t bodyLimit = 0;        // the most body taken in: a body that passes it fails
    std::int32_t timeoutSeconds = 0;   // how long the control waits for an answer
    std::string sha256;                // the checksum the body must have; empty: none
    bool unloadWhenDone = false;       // after the save, close the window
    bool installWhenDone = false;      // after the save (and the close), open the installer
};

// What is known once the body has been taken out of the control: everything that decides whether
// it may be saved.
struct ReadOutFacts {
    platform::TransferFailure failure;  // as the control reports it after the read-out
    std::int64_t announced = -1;        // the length the server announced; below 0 when none
    const ByteBlocks& body;
    const std::string& expectedSha256;  // the checksum the download names; empty: none
};

// Why a body may not be saved: a failure of the transfer (worded by the window with the facts
// the control gave), or the reason itself.
using DownloadRefusal = std::variant<platform::TransferFailure, std::string>;

// The checks a body passes before it is saved, in this order: the control reports no failure, no
// fewer bytes arrived than announced, the body is not empty, and (when the download names one) its
// SHA-256 is the one named. The first that fails is returned; none when the body may be saved.
// The SHA-256 is only computed once all the other checks have passed.
std::optional<DownloadRefusal> CheckReadOut(const ReadOutFacts& facts, platform::Hash& hash);

class DownloadWindow : public AgentWindow, public platform::DownloadWindowEvents, public platform::TransferEvents {
public:
    explicit DownloadWindow(AgentContext& ctx);
    ~DownloadWindow() override;

    void Load() override;
    void Show() override;
    bool Loaded() const { return phase_ != DownloadPhase::Closed; }
    DownloadPhase Phase() const { return phase_; }
    // Loads the window when it is not loaded, and starts downloading `address` into `target`,
    // `size` KB expected; returns at once, the request runs on.
    void Start(const Variant& size, const Variant& target, const Variant& address);
    void SetCaption(const std::string& caption);
    // Runs OnClosing and destroys the window (a close always goes ahead).
    void Unload();

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
    void OnClosing();

private:
    template <typename Handler> void RunHandler(Handler&& handler);
    void HandleStateChanged(std::int16_t state);
    void HandleTick();
    bool RequestUnderWay() const;
    // Pumps the event loop; false when, meanwhile, the request ended or the window was closed
    // (or loaded anew), after which the caller must not touch the view, the request or the
    // buffer again.
    bool Yield(std::uint32_t generation, bool now = false);
    // The read loop; false when the window went away, or the request ended, during it.
    bool ReadBody(std::uint32_t generation);
    void Complete();
    // Stops the request, tells the user what failed and closes the window; nothing is saved.
    void Fail(const platform::TransferFailure& failure);
    void Fail(const std::string& reason);
    void Fail(const DownloadRefusal& refusal);
    void ForgetBody();

    AgentContext& ctx_;
    std::unique_ptr<platform::DownloadWindowView> view_;
    // Kept after the window unloads (only cancelled), so that a handler still on the stack never
    // meets a destroyed control; replaced when the window is loaded again.
    std::unique_ptr<platform::TransferControl> transfer_;
    // The control's blocks, taken over as the read-out reaches them, and counted in chunk by
    // chunk: the body is held once, and never copied.
    ByteBlocks receivedData_;
    std::int32_t lastTickMs_ = 0;
    std::int32_t lastUBound_ = 0;
    // The current download's, as Start took it.
    DownloadRequest request_;
    DownloadPhase phase_ = DownloadPhase::Closed;
    // True while a state change is being handled: one that comes in the meantime, through a
    // yield, returns at once, so a response is read out only once.
    bool busy_ = false;
    // Counts the loads of the window, so that a handler waiting in a yield can tell a window
    // loaded anew from the one it started on (whose phase may look the same).
    std::uint32_t generation_ = 0;
};

// The download window's single instance of the run, made when first asked for.
DownloadWindow& TheDownloadWindow(AgentContext& ctx);

} // namespace orv
