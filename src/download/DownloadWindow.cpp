#include "download/DownloadWindow.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "common/Messages.h"
#include "download/Internet.h"
#include "download/Time.h"
#include "platform/Trace.h"
#include "util/Files.h"

namespace orv {
namespace {

using platform::TransferFailure;

constexpr std::size_t kChunkSize = 256;
static_assert(platform::kBodyBlockSize == ByteBlocks::kBlockSize && ByteBlocks::kBlockSize % kChunkSize == 0,
              "the control's blocks are the buffer's, and whole chunks fill them");
// The most body a download takes in, whatever the size it was started with.
constexpr std::int64_t kMaxBody = std::int64_t{512} * 1024 * 1024;
constexpr const char* kParagraph = "\r\n\r\n";

// Reason phrases for the answers a download server or a proxy gives most often.
const char* ReasonPhrase(std::int32_t status) {
    switch (status) {
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 410: return "Gone";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return nullptr;
    }
}

std::string Seconds(std::int32_t n) { return std::to_string(n) + (n == 1 ? " second" : " seconds"); }

// Every word the user reads about a failed transfer is written here, from the facts the control
// reports: a server's own words (its reason phrase, the address it sends the download on to)
// never reach a box.
std::string FailureReason(const TransferFailure& f, std::int32_t timeoutSeconds, std::int64_t bodyLimit,
                          const std::string& address) {
    using Kind = TransferFailure::Kind;
    const std::string error = f.systemError != 0 ? " (error " + std::to_string(f.systemError) + ")" : "";
    switch (f.kind) {
    case Kind::NameNotResolved:
        return "The server's name could not be found. Please check your Internet connection.";
    case Kind::CannotConnect:
        return "The server could not be reached. Please check your Internet connection.";
    case Kind::ConnectionLost:
        return "The connection to the server was lost.";
    case Kind::Timeout:
        return "The server did not answer within " + Seconds(timeoutSeconds) + ".";
    case Kind::Certificate:
        return "The server's certificate could not be verified, so the download was refused" + error + ".";
    case Kind::HttpStatus: {
        if (f.httpStatus == 0) return "The server's reply was not understood.";
        const char* phrase = ReasonPhrase(f.httpStatus);
        return "The server answered " + std::to_string(f.httpStatus) + (phrase ? std::string(" ") + phrase : "") +
               ".";
    }
    case Kind::Truncated:
        if (f.received >= 0 && f.announced >= 0)
            return "The connection to the server closed after " + std::to_string(f.received) + " of " +
                   std::to_string(f.announced) + " bytes.";
        return "The connection to the server was lost before the whole file had arrived.";
    case Kind::TooLarge:
        return "The server sent more than " + std::to_string(bodyLimit) +
               " bytes, far more than the expected size, so the download was stopped.";
    case Kind::InsecureRedirect:
        return "The download was redirected to an address that is not secure, so it was stopped.";
    case Kind::TooManyRedirects:
        return "The download was redirected too many times, so it was stopped.";
    case Kind::BadAddress:
        return "The download address is not valid: " + address;
    case Kind::NotStarted:
        return "The download could not be started" + error + ".";
    case Kind::OutOfMemory:
        return "There is not enough memory to hold the file.";
    case Kind::None:
    case Kind::Other:
        break;
    }
    return "The transfer failed" + error + ".";
}

// An amount that rounds to 0.00 is shown as 0.00, not as -0.00 (the -1 held before the first
// byte arrives, or a rate that has all but stopped).
std::string Fixed2(const platform::Locale& locale, double value) {
    return locale.FormatFixed2Grouped(std::fabs(value) < 0.005 ? 0.0 : value);
}

// The bar's position for a buffer whose upper bound is `ubound`: the whole KB it holds, halves to
// the even neighbour, never past `max` (a whole number) nor below 0. In integers, as the
// read-out asks for it at every chunk.
double BarPosition(std::int32_t ubound, double max) {
    double kb = 0;
    if (ubound > 0) {
        const std::int32_t whole = ubound / 1024, rest = ubound % 1024;
        kb = whole + ((rest > 512 || (rest == 512 && whole % 2 == 1)) ? 1 : 0);
    }
    if (max < kb) kb = max;
    return kb < 0 ? 0 : kb;
}

// Twice the size the download was started with, and kMaxBody in any case: what the server
// announces is only its word.
std::int64_t BodyLimit(double expectedKB) {
    if (expectedKB > 0 && expectedKB * 2048 < static_cast<double>(kMaxBody))
        return static_cast<std::int64_t>(expectedKB * 2048);
    return kMaxBody;
}

// Empty when `body` is the file whose SHA-256 `expectedSha256` names; else why it is not.
// Whoever stands between the server and the agent could send another file, which would be handed
// to the installer: only the file whose SHA-256 the build names is saved.
std::string CheckExpectedFile(const ByteBlocks& body, const std::string& expectedSha256, platform::Hash& hash) {
    platform::Sha256Digest actual{};
    try {
        std::vector<platform::ByteSpan> pieces;
        body.ForEachBlock([&](const std::uint8_t* data, std::size_t n) { pieces.emplace_back(data, n); });
        actual = hash.Sha256(pieces);
    } catch (const AgentError& e) {
        return "The downloaded file could not be checked: " + e.Description();
    }
    const std::optional<platform::Sha256Digest> expected = ParseSha256(expectedSha256);
    if (expected && *expected == actual) return {};
    return "The downloaded file did not match the file expected (its SHA-256 checksum differs), so it was not "
           "saved.";
}

} // namespace

std::optional<DownloadRefusal> CheckReadOut(const ReadOutFacts& facts, platform::Hash& hash) {
    if (facts.failure.kind != TransferFailure::Kind::None) return facts.failure;
    const auto received = static_cast<std::int64_t>(facts.body.Size());
    if (facts.announced >= 0 && received < facts.announced) {
        TransferFailure truncated = facts.failure;
        truncated.kind = TransferFailure::Kind::Truncated;
        truncated.received = received;
        truncated.announced = facts.announced;
        return truncated;
    }
    // Saving nothing over the target would only destroy a good copy that may be there.
    if (received == 0) return "The server sent an empty file.";
    if (!facts.expectedSha256.empty()) {
        std::string mismatch = CheckExpectedFile(facts.body, facts.expectedSha256, hash);
        if (!mismatch.empty()) return mismatch;
    }
    return std::nullopt;
}

DownloadWindow& TheDownloadWindow(AgentContext& ctx) {
    if (!ctx.downloadWindow) ctx.downloadWindow = MakeHeld<DownloadWindow>(ctx);
    return *ctx.downloadWindow;
}

DownloadWindow::DownloadWindow(AgentContext& ctx) : ctx_(ctx) {}
DownloadWindow::~DownloadWindow() = default;

void DownloadWindow::Load() {
    if (view_) return;
    // The control first: without it the window cannot work, and no half-made window may stay.
    auto control = ctx_.platform.transfer.CreateTransferControl(*this);
    auto view = ctx_.platform.windows.CreateDownloadWindow(*this);
    ORV_TRACE_EVENT("download window created");
    ORV_TRACE_MEMORY("working set, window created");
    ForgetBody();
    // The first tick measures from here: the rate over the time since midnight would be no rate
    // at all when the first tick finds data already held.
    lastTickMs_ = RoundToInt32(static_cast<double>(ctx_.platform.clock.SecondsSinceMidnight()) * 1000.0);
    lastUBound_ = 0;
    ++generation_;
    transfer_ = std::move(control);
    view_ = std::move(view);
    phase_ = DownloadPhase::Idle;
}

void DownloadWindow::Show() {
    Load();
    view_->Show();
    ORV_TRACE_EVENT("download window shown");
}

void DownloadWindow::SetCaption(const std::string& caption) {
    Load();
    view_->SetCaption(caption);
}

void DownloadWindow::Start(const Variant& size, const Variant& target, const Variant& address) {
    Load();
    const platform::Locale& locale = ctx_.platform.locale;
    const AgentSettings& settings = ctx_.settings;
    DownloadRequest request;
    request.expectedKB = static_cast<float>(ToDouble(size, locale));
    request.bodyLimit = BodyLimit(request.expectedKB);
    request.target = ToText(target, locale);
    request.address = ToText(address, locale);
    request.timeoutSeconds = settings.RequestTimeout;
    request.sha256 = settings.DownloadSHA256;
    request.unloadWhenDone = settings.UnloadWhenDone;
    request.installWhenDone = settings.InstallWhenDone;
    request_ = std::move(request);

    transfer_->SetRequestTimeout(request_.timeoutSeconds);
    view_->SetProgressMax(request_.expectedKB);
    transfer_->SetBodyLimit(request_.bodyLimit);
    // For the installation, which reads the saved file from there.
    ctx_.settings.DownloadFilePath = request_.target;
    view_->SetStatus("Establishing connection... Please wait...");
    phase_ = DownloadPhase::Connecting;
    ORV_TRACE_EVENT("request started");
    transfer_->Execute(request_.address, "GET");
}

void DownloadWindow::Unload() {
    if (!Loaded()) return;
    OnClosing();
    ForgetBody();
    // Closed, and the view detached, before it is destroyed, so nothing reached from Destroy
    // finds a dying view or a request still under way.
    phase_ = DownloadPhase::Closed;
    std::unique_ptr<platform::DownloadWindowView> view = std::move(view_);
    view->Destroy();
    ORV_TRACE_EVENT("download window gone");
}

std::int32_t DownloadWindow::GetBufferUBound() const {
    if (receivedData_.Empty()) return -1;
    const std::size_t upper = receivedData_.Size() - 1;
    constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(upper < kMax ? upper : kMax);
}

template <typename Handler> void DownloadWindow::RunHandler(Handler&& handler) {
    try {
        handler();
    } catch (const AgentError& e) {
        ReportUnhandledError(ctx_, e);
        // Like any run that an error ends.
        ctx_.platform.process.EndNow(1);
    }
}

void DownloadWindow::OnTransferStateChanged(std::int16_t state) {
    RunHandler([&] { HandleStateChanged(state); });
}

void DownloadWindow::OnTick() {
    RunHandler([&] { HandleTick(); });
}

void DownloadWindow::OnCancelClicked() {
    RunHandler([&] {
        Unload();
        ctx_.platform.process.EndNow(0);
    });
}

void DownloadWindow::OnCloseRequested() {
    RunHandler([&] { Unload(); });
}

void DownloadWindow::OnClosing() {
    // Closing always goes ahead; the request must not outlive the window.
    if (transfer_) transfer_->Cancel();
}

bool DownloadWindow::RequestUnderWay() const {
    return phase_ == DownloadPhase::Connecting || phase_ == DownloadPhase::Receiving ||
           phase_ == DownloadPhase::ReadingOut;
}

bool DownloadWindow::Yield(std::uint32_t generation, bool now) {
    if (now) ctx_.platform.windows.DoEventsNow();
    else ctx_.platform.windows.DoEvents();
    return generation == generation_ && RequestUnderWay();
}

void DownloadWindow::HandleStateChanged(std::int16_t state) {
    // Nested calls (made while an earlier call waits inside a yield) and late state changes of a
    // request that has already ended, or of a window already closed, are ignored.
    if (busy_ || !RequestUnderWay()) return;
    busy_ = true;
    struct BusyReset {
        bool& busy;
        ~BusyReset() { busy = false; }
    } busyReset{busy_};

    const std::uint32_t generation = generation_;
    if (state == platform::icError) {
        // Also before the first response: the user must not be left waiting on a request that
        // has already failed.
        Fail(transfer_->Failure());
        return;
    }
    // A control that reports the finished response without the "received" state is read out
    // all the same, rather than left waiting.
    if (state != platform::icResponseReceived && state != platform::icResponseCompleted) {
        const TransferFailure failure = transfer_->Failure();
        if (failure.kind != TransferFailure::Kind::None) Fail(failure);
        return;
    }

    ORV_TRACE_EVENT("response received");
    phase_ = DownloadPhase::Receiving;
    view_->SetStatus("Downloading file:\r\n" + transfer_->URL());
    while (transfer_->StillExecuting()) {
        if (!Yield(generation)) return;
    }
    ORV_TRACE_EVENT("wait over");
    ORV_TRACE_MEMORY("working set, read-out start");

    TransferFailure failure = transfer_->Failure();
    if (failure.kind != TransferFailure::Kind::None) return Fail(failure);
    const std::int32_t status = transfer_->ResponseCode();
    if (status < 200 || status > 299) {
        failure.kind = TransferFailure::Kind::HttpStatus;
        failure.httpStatus = status;
        return Fail(failure);
    }

    phase_ = DownloadPhase::ReadingOut;
    if (!ReadBody(generation)) return;
    ORV_TRACE_EVENT("read-out over");
    ORV_TRACE_MEMORY("working set, read-out end");

    const ReadOutFacts facts{transfer_->Failure(), transfer_->ContentLength(), receivedData_, request_.sha256};
    const std::optional<DownloadRefusal> refusal = CheckReadOut(facts, ctx_.platform.hash);
    if (refusal) return Fail(*refusal);
    Complete();
}

bool DownloadWindow::ReadBody(std::uint32_t generation) {
    // The bar's maximum is the one Start gave it; the bar hears of a new position only when the
    // position changes (every fourth chunk).
    const double barMax = std::nearbyint(static_cast<double>(request_.expectedKB));
    double shown = -1;
    for (;;) {
        if (!Yield(generation)) return false;
        platform::BodyBlock block;
        const std::size_t got = transfer_->GetChunk(kChunkSize, block);
        // A yield soon after another may skip checking the event queue, as checking it is
        // costly. Before the body counts as read, the queue is checked and everything pending
        // (a click on Cancel) is dispatched, so that a click is never answered with a save.
        if (got == 0) return Yield(generation, true);
        // The control's blocks become the buffer's as they are reached: the body is held once.
        if (block) receivedData_.Adopt(std::move(block));
        receivedData_.Grow(got);
        // A short chunk is the last one; it does not move the bar.
        if (got != kChunkSize) return Yield(generation, true);
        const double position = BarPosition(GetBufferUBound(), barMax);
        if (position != shown) {
            shown = position;
            view_->SetProgressValue(static_cast<float>(position));
        }
    }
}

void DownloadWindow::Complete() {
    phase_ = DownloadPhase::Saving;
    view_->SetStatus("Download complete.");
    transfer_->Cancel();
    // A temporary file beside the target becomes the target only once all of it is written, so
    // a failed write never leaves a cut-short file under the real name.
    // Not flushed to the disk before it replaces the target: the cabinet is downloaded again
    // whenever it is needed, and a cut-short file never has the real name either way.
    try {
        WriteFileReplacing(ctx_, request_.target, receivedData_, platform::Durability::Cached);
    } catch (...) {
        // Reported by whoever handles the error; nothing was saved.
        phase_ = DownloadPhase::Failed;
        throw;
    }
    phase_ = DownloadPhase::Saved;
    ORV_TRACE_MEMORY("working set, file saved");
    ForgetBody();
    if (request_.unloadWhenDone) Unload();
    if (request_.installWhenDone) InstallAccessRuntime(ctx_);
}

void DownloadWindow::Fail(const TransferFailure& failure) {
    Fail(FailureReason(failure, request_.timeoutSeconds, request_.bodyLimit, transfer_->URL()));
}

void DownloadWindow::Fail(const DownloadRefusal& refusal) {
    std::visit([this](const auto& why) { Fail(why); }, refusal);
}

void DownloadWindow::Fail(const std::string& reason) {
    phase_ = DownloadPhase::Failed;
    const std::string address = transfer_->URL();
    transfer_->Cancel();
    ForgetBody();
    ShowError(ctx_, "The file could not be downloaded from " + address + "." + kParagraph + reason);
    // The window may have been closed while the box was up.
    Unload();
}

void DownloadWindow::ForgetBody() { receivedData_.Clear(); }

void DownloadWindow::HandleTick() {
    // The figures measure a request under way. Once it has failed (or its body is saved) the
    // buffer is emptied, and a tick would measure the drop to nothing as a negative rate: the
    // window keeps what the last tick showed, behind a failure box too.
    if (!RequestUnderWay()) return;
    platform::Clock& clock = ctx_.platform.clock;
    const double t = clock.SecondsSinceMidnight();
    const std::int32_t u = GetBufferUBound();
    const double elapsed = t - lastTickMs_ / 1000.0;
    // The last tick's time is kept in whole milliseconds: anything closer than that is no
    // measurable time, and the rate over it would be meaningless (or a division by zero).
    // The next tick measures over the longer span instead.
    if (std::fabs(elapsed) < 0.001) return;
    const double rate = ((static_cast<double>(u) - lastUBound_) / 1024.0) / elapsed;

    const platform::Locale& locale = ctx_.platform.locale;
    view_->SetAmount(Fixed2(locale, u / 1024.0) + " KB @ " + Fixed2(locale, rate) + " KB/s");
    ORV_TRACE_EVENT("tick", u);
    lastTickMs_ = RoundToInt32(static_cast<double>(clock.SecondsSinceMidnight()) * 1000.0);
    lastUBound_ = u;

    const double sizeKB = request_.expectedKB;
    if (sizeKB != 0 && u != 0 && rate != 0) {
        view_->SetTimeLeft("Time left: " + FormatTimeLeft((sizeKB - u / 1024.0) / rate));
    } else {
        view_->SetTimeLeft("");
    }
}

} // namespace orv
