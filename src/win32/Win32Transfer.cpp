#include "win32/Win32Transfer.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "common/Error.h"
#include "download/TransferRules.h"
#include "platform/Trace.h"
#include "win32/Win32Api.h"
#include "win32/Win32Handles.h"
#include "win32/Win32TransferRequest.h"
#include "win32/Win32WindowToolkit.h"
#include "win32/WinInetApi.h"
#include "OrvastellVersion.h"

namespace orv::win32 {
namespace {

using platform::TransferFailure;
using namespace transfer;

constexpr const char* kUserAgent = "Orvastell/" ORV_VERSION_TEXT;
constexpr const char* kNotifyClass = "OrvastellTransferNotify";
// The body is kept in blocks of this size, filled by the worker and handed over whole by
// GetChunk.
constexpr DWORD kBlockSize = platform::kBodyBlockSize;
// A new request waits this long at most for the worker of the previous one to let go of its
// handles (closing them unblocks it on Windows).
constexpr DWORD kPreviousWorkerWaitMs = 1000;
// How long StillExecuting waits at most for the end of the request, or for anything new in the
// thread's message queue, before it answers that the request goes on: about a tick of the clock
// that the event loop's yield goes by.
constexpr DWORD kStillExecutingWaitMs = 15;
// The longest Location header that is read; a longer one counts as none.
constexpr DWORD kMaxLocation = 16384;
static_assert(kNoTimeout == INFINITE, "the rules' endless time-out is the system's");

// A failed WinINet call of the request, as the kind of failure it is; `waitedMs` is how long the
// call had been waiting.
TransferFailure FailureFromError(DWORD code, const Request& r, bool inBody, ULONGLONG waitedMs = 0) {
    return FailureFromSystemError(code, inBody, r.timeoutMs, waitedMs);
}

std::int16_t StateFromStatus(DWORD status) {
    switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME: return platform::icHostResolvingHost;
    case INTERNET_STATUS_NAME_RESOLVED: return platform::icHostResolved;
    case INTERNET_STATUS_CONNECTING_TO_SERVER: return platform::icConnecting;
    case INTERNET_STATUS_CONNECTED_TO_SERVER: return platform::icConnected;
    case INTERNET_STATUS_SENDING_REQUEST: return platform::icRequesting;
    case INTERNET_STATUS_REQUEST_SENT: return platform::icRequestSent;
    case INTERNET_STATUS_RECEIVING_RESPONSE: return platform::icReceivingResponse;
    default: return platform::icNone;
    }
}

// Reports the control's early states (host look-up, connection, request sent) as they happen.
// Once the headers are in, the next states to report are the response received and the end.
void CALLBACK StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    if (status == INTERNET_STATUS_CONNECTED_TO_SERVER) ORV_TRACE_EVENT("connected");
    if (status == INTERNET_STATUS_REQUEST_SENT) ORV_TRACE_EVENT("request sent");
    const std::int16_t state = StateFromStatus(status);
    if (state == platform::icNone || context == 0) return;
    auto* r = reinterpret_cast<Request*>(context);
    ExclusiveLock lock(r->lock);
    if (r->headersIn || r->done || state == r->lastState) return;
    r->PostLocked(state);
}

// The Location of a redirect's answer as the server gave it (up to a NUL); empty when there is
// none, or it is too long.
std::string ReadLocation(HINTERNET handle) {
    DWORD size = 0;
    Inet().HttpQueryInfoA(handle, HTTP_QUERY_LOCATION, nullptr, &size, nullptr);
    if (size == 0 || size > kMaxLocation) return {};
    std::string location(size + 1, '\0');
    size = static_cast<DWORD>(location.size());
    if (!Inet().HttpQueryInfoA(handle, HTTP_QUERY_LOCATION, location.data(), &size, nullptr)) return {};
    location.resize(std::min<std::size_t>(size, location.size()));
    location.resize(location.find('\0') == std::string::npos ? location.size() : location.find('\0'));
    return location;
}

void RunRequest(Request& r) {
    ORV_TRACE_EVENT("worker started");
    HINTERNET session = Inet().InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    ORV_TRACE_EVENT("session opened");
    if (!session) return Finish(r, FailureFromError(::GetLastError(), r, false));
    if (!Adopt(r, &Request::session, OwnInternetHandle(session))) return;

    SetTimeouts(session, r.timeoutMs);
    Inet().InternetSetStatusCallbackA(session, StatusCallback);

    std::optional<WebAddress> first = ParseWebAddress(r.url);
    if (!first) return Finish(r, TransferFailed(TransferFailure::Kind::BadAddress));
    // WinINet would follow redirects by itself, to any address; they are followed here instead,
    // as the redirect rule allows, and an address that it refuses is never asked for.
    WebAddress address = std::move(*first);
    RedirectRule redirects(address.secure);
    std::string url = r.url;
    HINTERNET handle = nullptr;
    ULONGLONG started = 0;
    DWORD status = 0, size = 0;
    for (;;) {
        // The race with Cancel between reading a handle here and using it is harmless: a handle
        // that Cancel has closed makes the call fail, and the worker then stops.
        session = CurrentHandle(r, &Request::session);
        if (!session) return;
        const auto context = reinterpret_cast<DWORD_PTR>(&r);
        HINTERNET connection = Inet().InternetConnectA(session, address.host.c_str(), address.port, nullptr, nullptr,
                                                       INTERNET_SERVICE_HTTP, 0, context);
        if (!connection) return Finish(r, FailureFromError(::GetLastError(), r, false));
        if (!Adopt(r, &Request::connection, OwnInternetHandle(connection))) return;
        SetTimeouts(connection, r.timeoutMs);

        DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (address.secure) flags |= INTERNET_FLAG_SECURE;
        const char* accept[] = {"*/*", nullptr};
        handle = Inet().HttpOpenRequestA(connection, "GET", address.object.c_str(), nullptr, nullptr, accept, flags,
                                         context);
        if (!handle) return Finish(r, FailureFromError(::GetLastError(), r, false));
        if (!Adopt(r, &Request::handle, OwnInternetHandle(handle))) return;
        SetTimeouts(handle, r.timeoutMs);

        handle = CurrentHandle(r, &Request::handle);
        if (!handle) return;
        started = ::GetTickCount64();
        ORV_TRACE_EVENT("request sending");
        if (!Inet().HttpSendRequestA(handle, nullptr, 0, nullptr, 0))
            return Finish(r, FailureFromError(::GetLastError(), r, false, ::GetTickCount64() - started));

        status = 0;
        size = sizeof status;
        if (!Inet().HttpQueryInfoA(handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
            status = 0;
        if (!IsRedirectStatus(static_cast<std::int32_t>(status))) break;
        RedirectStep step = redirects.Next(url, ReadLocation(handle));
        if (step.action == RedirectStep::Action::Keep) break;
        if (step.action == RedirectStep::Action::Refuse) return Finish(r, TransferFailed(step.refusal));
        DropHop(r);
        url = std::move(step.url);
        address = std::move(step.address);
    }

    ORV_TRACE_EVENT("headers in");
    ORV_TRACE_MEMORY("working set, headers in");
    // The status's reason phrase is not read: the server's words are not for the user's eyes.
    char lengthText[64] = "";
    size = sizeof lengthText - 1;
    std::int64_t contentLength = -1;
    if (Inet().HttpQueryInfoA(handle, HTTP_QUERY_CONTENT_LENGTH, lengthText, &size, nullptr))
        contentLength = ParseContentLength(lengthText).value_or(-1);
    {
        ExclusiveLock lock(r.lock);
        if (r.cancelled) return;
        r.status = static_cast<std::int32_t>(status);
        r.contentLength = contentLength;
        r.headersIn = true;
        r.PostLocked(platform::icResponseReceived);
    }
    // A body announced beyond the limit would only be read to be thrown away.
    if (contentLength > r.bodyLimit) return Finish(r, TransferFailed(TransferFailure::Kind::TooLarge));

    // Reads land in one buffer, used again and again, and are copied from there into the block
    // being filled, which joins the body once full (or at the end). Reading straight into the
    // block would spare the copy, but a read into fresh pages costs more than a copy does (here
    // more than twice as much for the whole body, measured under Wine), and every page of the
    // body is fresh.
    const auto landing = std::make_unique<std::uint8_t[]>(kBlockSize);
    Block filling(kBlockSize);
    DWORD readError = 0;
    ULONGLONG readWaited = 0;
    std::uint64_t received = 0;
    for (;;) {
        handle = CurrentHandle(r, &Request::handle);
        if (!handle) return;
        DWORD got = 0;
        started = ::GetTickCount64();
        if (!Inet().InternetReadFile(handle, landing.get(), kBlockSize, &got)) {
            readError = ::GetLastError();
            readWaited = ::GetTickCount64() - started;
            break;
        }
        if (got == 0) break;
        received += got;
        // A server that never stops sending must not take all the memory there is.
        if (received > static_cast<std::uint64_t>(r.bodyLimit))
            return Finish(r, TransferFailed(TransferFailure::Kind::TooLarge));
        for (std::size_t copied = 0; copied < got;) {
            copied += filling.Fill(landing.get() + copied, got - copied);
            if (filling.Room() > 0) continue;
            if (!AddBlock(r, std::move(filling))) return;
            filling = Block(kBlockSize);
        }
    }
    ORV_TRACE_EVENT("last byte in");
    ORV_TRACE_MEMORY("working set, last byte in");
    if (filling.Size() > 0 && !AddBlock(r, std::move(filling))) return;
    Finish(r, FailureOfBody({.status = static_cast<std::int32_t>(status),
                             .readError = readError,
                             .readWaitedMs = readWaited,
                             .timeoutMs = r.timeoutMs,
                             .received = received,
                             .announced = contentLength}));
}

void RunWorker(Request& r) {
    try {
        RunRequest(r);
    } catch (...) {
        // Nothing may escape a thread; the likely cause is a body too large for memory.
        Finish(r, TransferFailed(TransferFailure::Kind::OutOfMemory));
    }
}

// The worker's share of its request, handed to the thread through CreateThread's one pointer.
// Execute gives it up only once the thread exists; the thread owns it from its first line.
using WorkerShare = std::shared_ptr<Request>;

DWORD WINAPI Worker(LPVOID param) {
    std::unique_ptr<WorkerShare> share(static_cast<WorkerShare*>(param));
    const std::shared_ptr<Request> request = std::move(*share);
    share.reset();
    RunWorker(*request);
    return 0;
}

// The thread that Prepare starts: it loads WinINet, then waits for the first request and runs
// it, so that the first download starts no thread of its own (a thread's start costs milliseconds
// under Wine, and every thread there keeps about a megabyte of its stack in memory). Kept for the
// life of the process; without a download it waits until the process ends.
struct ReadyWorker {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE handed = CONDITION_VARIABLE_INIT;
    bool started = false;
    UniqueHandle thread;               // the thread's handle, until a request is handed to it
    std::shared_ptr<Request> request;  // the request handed to it, until it takes it
};

ReadyWorker& Ready() {
    static ReadyWorker ready;
    return ready;
}

DWORD WINAPI ReadyWorkerThread(LPVOID) {
    EnsureWinInet();
    ReadyWorker& ready = Ready();
    std::shared_ptr<Request> request;
    {
        ExclusiveLock lock(ready.lock);
        while (!ready.request) ::SleepConditionVariableSRW(&ready.handed, &ready.lock, INFINITE, 0);
        request = std::move(ready.request);
    }
    RunWorker(*request);
    return 0;
}

// Hands `request` to the ready worker, if there is one that has had none yet; its thread's
// handle then, else an empty one.
UniqueHandle HandToReadyWorker(const std::shared_ptr<Request>& request) {
    ReadyWorker& ready = Ready();
    ExclusiveLock lock(ready.lock);
    if (!ready.thread) return {};
    ready.request = request;
    ::WakeConditionVariable(&ready.handed);
    return std::move(ready.thread);
}

class Win32Transfer;
LRESULT CALLBACK NotifyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

class Win32Transfer final : public platform::TransferControl {
public:
    explicit Win32Transfer(platform::TransferEvents& events) : events_(&events) {
        HINSTANCE instance = ::GetModuleHandleA(nullptr);
        WNDCLASSEXA cls{};
        if (!::GetClassInfoExA(instance, kNotifyClass, &cls)) {
            cls = WNDCLASSEXA{};
            cls.cbSize = sizeof cls;
            cls.lpfnWndProc = NotifyProc;
            cls.hInstance = instance;
            cls.lpszClassName = kNotifyClass;
            ::RegisterClassExA(&cls);
        }
        // A message-only window on the creating thread receives the worker's state changes.
        notify_.reset(::CreateWindowExA(0, kNotifyClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr));
        if (!notify_)
            throw AgentError(static_cast<std::int32_t>(::GetLastError()),
                             "The transfer control could not be created.");
        ::SetWindowLongPtrA(notify_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    ~Win32Transfer() override {
        Release();
        // The worker, if still blocked, finishes on its own; it holds the request, not us. Its
        // handle is closed without waiting for it.
        previousWorker_.reset();
        // The notify window is detached from this control and destroyed after.
        notify_.reset();
    }

    void SetRequestTimeout(std::int32_t seconds) override { timeoutSeconds_ = seconds; }
    void SetBodyLimit(std::int64_t bytes) override { bodyLimit_ = bytes < 0 ? 0 : bytes; }

    void Execute(const std::string& url, const std::string& operation) override {
        if (!operation.empty() && ::lstrcmpiA(operation.c_str(), "GET") != 0)
            throw AgentError::InvalidProcedureCall();
        Release();
        if (previousWorker_) {
            ::WaitForSingleObject(previousWorker_.get(), kPreviousWorkerWaitMs);
            previousWorker_.reset();
        }
        url_ = url;
        auto request = std::make_shared<Request>();
        request->url = url;
        // 0 means no time-out, as with the published control.
        const std::int32_t seconds = std::min<std::int32_t>(timeoutSeconds_, 4000000);
        request->timeoutMs = seconds <= 0 ? INFINITE : static_cast<DWORD>(seconds) * 1000;
        request->bodyLimit = bodyLimit_;
        request->notify = notify_.get();
        request->generation = ++generation_;
        request_ = request;
        if (!EnsureWinInet()) return Finish(*request, TransferFailed(TransferFailure::Kind::NotStarted, ERROR_MOD_NOT_FOUND));
        worker_ = HandToReadyWorker(request);
        if (worker_) return;
        auto share = std::make_unique<WorkerShare>(request);
        worker_.reset(::CreateThread(nullptr, 0, Worker, share.get(), 0, nullptr));
        if (!worker_) {
            const DWORD error = ::GetLastError();
            share.reset();
            return Finish(*request, TransferFailed(TransferFailure::Kind::NotStarted, error));
        }
        share.release();  // the worker owns it now
    }

    bool StillExecuting() override {
        if (!request_) return false;
        // The caller polls in a loop, yielding between polls. Sleeping here until the end, or
        // until there is a message for the yield to dispatch (a click, a timer's tick), keeps
        // that loop from taking a processor and the system's attention away from the worker
        // (and from the server, on a busy machine) for the whole transfer, while the window
        // answers as soon as before.
        if (Running(*request_) && request_->ended) {
            const HANDLE ended = request_->ended.get();
            ::MsgWaitForMultipleObjects(1, &ended, FALSE, kStillExecutingWaitMs, QS_ALLINPUT);
        }
        return Running(*request_);
    }

    std::size_t GetChunk(std::size_t size, platform::BodyBlock& block) override {
        block.reset();
        if (!request_ || size == 0) return 0;
        return TakeChunk(*request_, size, block);
    }

    std::string URL() override { return url_; }

    void Cancel() override { Release(); }

    std::int32_t ResponseCode() override {
        if (!request_) return 0;
        ExclusiveLock lock(request_->lock);
        return request_->status;
    }
    std::int64_t ContentLength() override {
        if (!request_) return -1;
        ExclusiveLock lock(request_->lock);
        return request_->contentLength;
    }
    TransferFailure Failure() override {
        if (!request_) return {};
        ExclusiveLock lock(request_->lock);
        return request_->failure;
    }

    void Deliver(WPARAM generation, std::int16_t state) {
        if (!request_ || generation != generation_) return;
        {
            ExclusiveLock lock(request_->lock);
            if (request_->cancelled) return;
        }
        // The handler may destroy this control; nothing here touches it afterwards.
        platform::TransferEvents* events = events_;
        RunEventHandler([events, state] { events->OnTransferStateChanged(state); });
    }

private:
    // Lets go of the current request (LetGo). Never waits for the worker.
    void Release() {
        if (request_) LetGo(*request_);
        // An earlier worker's handle is closed without waiting for it.
        if (worker_) previousWorker_ = std::move(worker_);
    }

    platform::TransferEvents* events_;
    UniqueWindow notify_;
    std::int32_t timeoutSeconds_ = 60;
    std::int64_t bodyLimit_ = INT64_MAX;
    std::string url_;
    std::shared_ptr<Request> request_;
    UniqueHandle worker_;
    UniqueHandle previousWorker_;
    WPARAM generation_ = 0;

    friend LRESULT CALLBACK NotifyProc(HWND, UINT, WPARAM, LPARAM);
};

LRESULT CALLBACK NotifyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kStateMessage) {
        auto* control = reinterpret_cast<Win32Transfer*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (control) control->Deliver(wParam, static_cast<std::int16_t>(lParam));
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

void Win32TransferFactory::Prepare() {
    ReadyWorker& ready = Ready();
    ExclusiveLock lock(ready.lock);
    if (ready.started) return;
    ready.started = true;
    // Without the thread, the first request starts one of its own and loads WinINet itself.
    ready.thread.reset(::CreateThread(nullptr, 0, ReadyWorkerThread, nullptr, 0, nullptr));
}

std::unique_ptr<platform::TransferControl> Win32TransferFactory::CreateTransferControl(
    platform::TransferEvents& events) {
    return std::make_unique<Win32Transfer>(events);
}

} // namespace orv::win32
