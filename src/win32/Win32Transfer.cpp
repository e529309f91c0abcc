#include "win32/Win32Transfer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "platform/Trace.h"
#include "win32/Win32Api.h"
#include "win32/Win32Handles.h"
#include "win32/Win32Libraries.h"
#include "win32/Win32WindowToolkit.h"
#include "OrvastellVersion.h"

namespace orv::win32 {
namespace {

using platform::TransferFailure;

constexpr const char* kUserAgent = "Orvastell/" ORV_VERSION_TEXT;
constexpr const char* kNotifyClass = "OrvastellTransferNotify";
constexpr UINT kStateMessage = WM_APP + 0x31;
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

// WinINet, loaded on the first request: most runs of the agent download nothing, and loading it
// (with the libraries it needs) at start-up would slow down every one of them.
struct WinInet {
    decltype(&::InternetOpenA) InternetOpenA = nullptr;
    decltype(&::InternetSetOptionA) InternetSetOptionA = nullptr;
    decltype(&::InternetSetStatusCallbackA) InternetSetStatusCallbackA = nullptr;
    decltype(&::InternetCrackUrlA) InternetCrackUrlA = nullptr;
    decltype(&::InternetCombineUrlA) InternetCombineUrlA = nullptr;
    decltype(&::InternetConnectA) InternetConnectA = nullptr;
    decltype(&::HttpOpenRequestA) HttpOpenRequestA = nullptr;
    decltype(&::HttpSendRequestA) HttpSendRequestA = nullptr;
    decltype(&::HttpQueryInfoA) HttpQueryInfoA = nullptr;
    decltype(&::InternetReadFile) InternetReadFile = nullptr;
    decltype(&::InternetCloseHandle) InternetCloseHandle = nullptr;
    bool loaded = false;
};

WinInet LoadWinInet() {
    WinInet api;
    HMODULE module = LoadSystemLibrary("wininet.dll");
    if (!module) return api;
    api.InternetOpenA = ORV_PROC_ADDRESS(module, InternetOpenA);
    api.InternetSetOptionA = ORV_PROC_ADDRESS(module, InternetSetOptionA);
    api.InternetSetStatusCallbackA = ORV_PROC_ADDRESS(module, InternetSetStatusCallbackA);
    api.InternetCrackUrlA = ORV_PROC_ADDRESS(module, InternetCrackUrlA);
    api.InternetCombineUrlA = ORV_PROC_ADDRESS(module, InternetCombineUrlA);
    api.InternetConnectA = ORV_PROC_ADDRESS(module, InternetConnectA);
    api.HttpOpenRequestA = ORV_PROC_ADDRESS(module, HttpOpenRequestA);
    api.HttpSendRequestA = ORV_PROC_ADDRESS(module, HttpSendRequestA);
    api.HttpQueryInfoA = ORV_PROC_ADDRESS(module, HttpQueryInfoA);
    api.InternetReadFile = ORV_PROC_ADDRESS(module, InternetReadFile);
    api.InternetCloseHandle = ORV_PROC_ADDRESS(module, InternetCloseHandle);
    api.loaded = api.InternetOpenA && api.InternetSetOptionA && api.InternetSetStatusCallbackA &&
                 api.InternetCrackUrlA && api.InternetCombineUrlA && api.InternetConnectA &&
                 api.HttpOpenRequestA && api.HttpSendRequestA && api.HttpQueryInfoA && api.InternetReadFile &&
                 api.InternetCloseHandle;
    return api;
}

// Only ever called once a request is under way, and then only after EnsureWinInet succeeded.
const WinInet& Inet() {
    static const WinInet api = [] {
        WinInet loaded = LoadWinInet();
        ORV_TRACE_EVENT("WinINet loaded");
        return loaded;
    }();
    return api;
}

bool EnsureWinInet() { return Inet().loaded; }


// A WinINet handle just opened (or null), owned, to be closed with the loaded library's
// InternetCloseHandle.
UniqueInternetHandle OwnInternetHandle(HINTERNET handle) {
    return UniqueInternetHandle(handle, InternetHandleCloser{Inet().InternetCloseHandle});
}

// A block of the body, received into and then handed over whole: the body is held once, and
// its pages are made once (where making fresh pages is costly, that is a good part of the
// download's time). The storage is not filled beforehand, for the same reason.
class Block {
public:
    Block() = default;
    explicit Block(std::size_t capacity) : data_(new std::uint8_t[capacity]), capacity_(capacity) {}
    Block(Block&& other) noexcept
        : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    Block& operator=(Block&& other) noexcept {
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        return *this;
    }

    std::uint8_t* Data() const { return data_.get(); }
    // Hands the storage over; the size stays, for counting what is taken of it.
    platform::BodyBlock Release() { return std::move(data_); }
    std::size_t Size() const { return size_; }
    std::size_t Room() const { return capacity_ - size_; }
    // Copies as much of `data` as there is room for; returns how much.
    std::size_t Fill(const std::uint8_t* data, std::size_t size) {
        const std::size_t n = std::min(size, Room());
        std::memcpy(data_.get() + size_, data, n);
        size_ += n;
        return n;
    }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// One request, shared by the control on the window thread and its worker. The worker keeps it
// alive for as long as it runs, so a control may go away while its worker is still blocked.
struct Request {
    // Fixed before the worker starts.
    std::string url;
    DWORD timeoutMs = 60000;
    std::int64_t bodyLimit = INT64_MAX;
    HWND notify = nullptr;
    WPARAM generation = 0;
    // Set once the request has ended (done or cancelled); StillExecuting waits on it. Closed
    // with the request, once neither the control nor the worker holds it.
    const UniqueHandle ended{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};

    SRWLOCK lock = SRWLOCK_INIT;
    // Everything below is guarded by lock.
    bool cancelled = false;  // the control has let go: the worker posts nothing more
    bool done = false;
    bool headersIn = false;
    std::int16_t lastState = platform::icNone;
    // Whoever takes a handle out of these slots (the worker at the end, or Cancel) closes it,
    // outside the lock: closing may call the status callback, which takes the lock.
    UniqueInternetHandle session;
    UniqueInternetHandle connection;
    UniqueInternetHandle handle;
    // The body not yet taken, in order; `taken` bytes of the first block are taken already (and
    // the block itself handed over with the first of them).
    std::deque<Block> body;
    std::size_t taken = 0;
#if defined(ORV_TRACE) && ORV_TRACE
    std::size_t blocks = 0, handedOver = 0;  // the trace's middle of the read-out
#endif
    std::int32_t status = 0;
    std::int64_t contentLength = -1;
    TransferFailure failure;

    Request() = default;
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    void PostLocked(std::int16_t state) {
        if (cancelled || !notify) return;
        lastState = state;
        ::PostMessageA(notify, kStateMessage, generation, static_cast<LPARAM>(state));
    }
    void SetEnded() const {
        if (ended) ::SetEvent(ended.get());
    }
};

using Slot = UniqueInternetHandle Request::*;

HINTERNET CurrentHandle(Request& r, Slot slot) {
    ExclusiveLock lock(r.lock);
    return r.cancelled ? nullptr : (r.*slot).get();
}

// Stores a handle the worker has just opened, unless the control has cancelled meanwhile; then
// the worker closes it itself, outside the lock. The slot is empty: nothing is closed in it.
bool Adopt(Request& r, Slot slot, UniqueInternetHandle handle) {
    {
        ExclusiveLock lock(r.lock);
        if (!r.cancelled) {
            r.*slot = std::move(handle);
            return true;
        }
    }
    handle.reset();
    return false;
}

TransferFailure Failed(TransferFailure::Kind kind, DWORD systemError = 0) {
    TransferFailure f;
    f.kind = kind;
    f.systemError = systemError;
    return f;
}

// A failed WinINet call, as the kind of failure it is.
// `waitedMs` is how long the failed call had been waiting: some WinINet versions report a
// receive time-out as a lost connection.
TransferFailure FailureFromError(DWORD code, const Request& r, bool inBody, ULONGLONG waitedMs = 0) {
    using Kind = TransferFailure::Kind;
    const bool timedOut = r.timeoutMs != INFINITE && waitedMs >= r.timeoutMs - r.timeoutMs / 10;
    if ((code == ERROR_INTERNET_CONNECTION_ABORTED || code == ERROR_INTERNET_CONNECTION_RESET) && timedOut)
        code = ERROR_INTERNET_TIMEOUT;
    switch (code) {
    case ERROR_INTERNET_TIMEOUT: return Failed(Kind::Timeout, code);
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return Failed(Kind::NameNotResolved, code);
    case ERROR_INTERNET_CANNOT_CONNECT: return Failed(Kind::CannotConnect, code);
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
        return Failed(Kind::Certificate, code);
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
        return Failed(inBody ? Kind::Truncated : Kind::ConnectionLost, code);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return Failed(Kind::OutOfMemory, code);
    default:
        return Failed(Kind::Other, code);
    }
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

// The request's handles once taken out of their slots, for the taker to close outside the lock
// (closing may call the status callback): the request handle first, the session last, by Close
// or else as they go out of scope.
struct Handles {
    UniqueInternetHandle session, connection, handle;
    void Close() {
        handle.reset();
        connection.reset();
        session.reset();
    }
};
// Called with the lock held.
Handles TakeHandlesLocked(Request& r) {
    return Handles{std::move(r.session), std::move(r.connection), std::move(r.handle)};
}

void Finish(Request& r, const TransferFailure& failure) {
    Handles handles;  // declared before the lock, so closed after it is released
    {
        ExclusiveLock lock(r.lock);
        if (r.cancelled) return;  // Cancel has taken and closed the handles
        r.failure = failure;
        r.done = true;
        r.SetEnded();
        handles = TakeHandlesLocked(r);
        r.PostLocked(failure.kind == TransferFailure::Kind::None ? platform::icResponseCompleted : platform::icError);
    }
}

// Time-outs are set on every level: some WinINet versions take them only from the connection
// or the request handle.
void SetTimeouts(HINTERNET handle, DWORD ms) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
        Inet().InternetSetOptionA(handle, option, &ms, sizeof ms);
}

// A request is sent on this often at most: the download server answers at once, and a chain
// longer than this is more likely a loop than a mirror.
constexpr int kMaxRedirects = 5;

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The parts of an address that a request needs; false when it is not an http:// or https://
// address with a host.
struct Address {
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
    std::string host, object;
    INTERNET_PORT port = 0;
};
bool CrackAddress(const std::string& url, Address& out) {
    char host[256] = "", path[2048] = "", extra[2048] = "";
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof extra;
    if (!Inet().InternetCrackUrlA(url.c_str(), 0, 0, &parts) || host[0] == '\0' ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS))
        return false;
    out.scheme = parts.nScheme;
    out.host = host;
    out.port = parts.nPort;
    out.object = std::string(path[0] ? path : "/") + extra;
    return true;
}

// The address that a redirect's Location names, made whole against the address it came from (a
// Location may be relative); empty when there is none or it cannot be made whole.
std::string RedirectTarget(HINTERNET handle, const std::string& from) {
    DWORD size = 0;
    Inet().HttpQueryInfoA(handle, HTTP_QUERY_LOCATION, nullptr, &size, nullptr);
    if (size == 0 || size > 16384) return {};
    std::string location(size + 1, '\0');
    size = static_cast<DWORD>(location.size());
    if (!Inet().HttpQueryInfoA(handle, HTTP_QUERY_LOCATION, location.data(), &size, nullptr)) return {};
    location.resize(std::min<std::size_t>(size, location.size()));
    location.resize(location.find('\0') == std::string::npos ? location.size() : location.find('\0'));
    if (location.empty()) return {};
    std::string whole(4096, '\0');
    DWORD length = static_cast<DWORD>(whole.size());
    if (!Inet().InternetCombineUrlA(from.c_str(), location.c_str(), whole.data(), &length, ICU_NO_ENCODE)) return {};
    whole.resize(std::min<std::size_t>(length, whole.size()));
    return whole;
}

std::int64_t ParseContentLength(const char* text) {
    std::int64_t value = 0;
    bool any = false;
    for (const char* p = text; *p; ++p) {
        if (*p == ' ') continue;
        if (*p < '0' || *p > '9' || value > (INT64_MAX - 9) / 10) return -1;
        value = value * 10 + (*p - '0');
        any = true;
    }
    return any ? value : -1;
}

// Closes the connection and request of a hop that was sent on, so that the next hop's take
// their slots.
void DropHop(Request& r) {
    Handles hop;  // closed once the lock is released
    ExclusiveLock lock(r.lock);
    hop.handle = std::move(r.handle);
    hop.connection = std::move(r.connection);
}

void RunRequest(Request& r) {
    ORV_TRACE_EVENT("worker started");
    HINTERNET session = Inet().InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    ORV_TRACE_EVENT("session opened");
    if (!session) return Finish(r, FailureFromError(::GetLastError(), r, false));
    if (!Adopt(r, &Request::session, OwnInternetHandle(session))) return;

    SetTimeouts(session, r.timeoutMs);
    Inet().InternetSetStatusCallbackA(session, StatusCallback);

    Address address;
    if (!CrackAddress(r.url, address)) return Finish(r, Failed(TransferFailure::Kind::BadAddress));
    // A secure download stays secure on every hop: WinINet would follow redirects by itself, to
    // any address, and a single plain hop lets anyone on the way choose where the rest goes. So
    // redirects are followed here, each only to a secure address, and an address that is not is
    // never asked for.
    const bool secure = address.scheme == INTERNET_SCHEME_HTTPS;
    std::string url = r.url;
    HINTERNET handle = nullptr;
    ULONGLONG started = 0;
    DWORD status = 0, size = 0;
    for (int redirects = 0;; ++redirects) {
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
        if (address.scheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
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
        if (!IsRedirect(status)) break;
        const std::string next = RedirectTarget(handle, url);
        // A redirect without a usable address is an answer like any other that is not the file.
        if (next.empty()) break;
        Address nextAddress;
        const bool valid = CrackAddress(next, nextAddress);
        if (secure && (!valid || nextAddress.scheme != INTERNET_SCHEME_HTTPS))
            return Finish(r, Failed(TransferFailure::Kind::InsecureRedirect));
        if (!valid) return Finish(r, Failed(TransferFailure::Kind::BadAddress));
        if (redirects == kMaxRedirects) return Finish(r, Failed(TransferFailure::Kind::TooManyRedirects));
        DropHop(r);
        url = next;
        address = nextAddress;
    }

    ORV_TRACE_EVENT("headers in");
    ORV_TRACE_MEMORY("working set, headers in");
    // The status's reason phrase is not read: the server's words are not for the user's eyes.
    char lengthText[64] = "";
    size = sizeof lengthText - 1;
    std::int64_t contentLength = -1;
    if (Inet().HttpQueryInfoA(handle, HTTP_QUERY_CONTENT_LENGTH, lengthText, &size, nullptr))
        contentLength = ParseContentLength(lengthText);
    {
        ExclusiveLock lock(r.lock);
        if (r.cancelled) return;
        r.status = static_cast<std::int32_t>(status);
        r.contentLength = contentLength;
        r.headersIn = true;
        r.PostLocked(platform::icResponseReceived);
    }
    // A body announced beyond the limit would only be read to be thrown away.
    if (contentLength > r.bodyLimit) return Finish(r, Failed(TransferFailure::Kind::TooLarge));

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
            return Finish(r, Failed(TransferFailure::Kind::TooLarge));
        for (std::size_t copied = 0; copied < got;) {
            copied += filling.Fill(landing.get() + copied, got - copied);
            if (filling.Room() > 0) continue;
            {
                ExclusiveLock lock(r.lock);
                if (r.cancelled) return;
                r.body.push_back(std::move(filling));
            }
            filling = Block(kBlockSize);
        }
    }
    ORV_TRACE_EVENT("last byte in");
    ORV_TRACE_MEMORY("working set, last byte in");
    if (filling.Size() > 0) {
        ExclusiveLock lock(r.lock);
        if (r.cancelled) return;
        r.body.push_back(std::move(filling));
    }

    TransferFailure failure;
    if (status < 200 || status > 299) {
        failure.kind = TransferFailure::Kind::HttpStatus;
        failure.httpStatus = static_cast<std::int32_t>(status);
    } else if (readError != 0) {
        failure = FailureFromError(readError, r, true, readWaited);
    } else if (contentLength >= 0 && static_cast<std::int64_t>(received) < contentLength) {
        failure.kind = TransferFailure::Kind::Truncated;
    }
    if (failure.kind == TransferFailure::Kind::Truncated) {
        failure.received = static_cast<std::int64_t>(received);
        failure.announced = contentLength;
    }
    Finish(r, failure);
}

void RunWorker(Request& r) {
    try {
        RunRequest(r);
    } catch (...) {
        // Nothing may escape a thread; the likely cause is a body too large for memory.
        Finish(r, Failed(TransferFailure::Kind::OutOfMemory));
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
        notify_ = ::CreateWindowExA(0, kNotifyClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
        if (!notify_)
            throw AgentError(static_cast<std::int32_t>(::GetLastError()),
                             "The transfer control could not be created.");
        ::SetWindowLongPtrA(notify_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    ~Win32Transfer() override {
        Release();
        // The worker, if still blocked, finishes on its own; it holds the request, not us. Its
        // handle is closed without waiting for it.
        previousWorker_.reset();
        ::SetWindowLongPtrA(notify_, GWLP_USERDATA, 0);
        ::DestroyWindow(notify_);
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
        request->notify = notify_;
        request->generation = ++generation_;
        request_ = request;
        if (!EnsureWinInet()) return Finish(*request, Failed(TransferFailure::Kind::NotStarted, ERROR_MOD_NOT_FOUND));
        worker_ = HandToReadyWorker(request);
        if (worker_) return;
        auto share = std::make_unique<WorkerShare>(request);
        worker_.reset(::CreateThread(nullptr, 0, Worker, share.get(), 0, nullptr));
        if (!worker_) {
            const DWORD error = ::GetLastError();
            share.reset();
            return Finish(*request, Failed(TransferFailure::Kind::NotStarted, error));
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
        ExclusiveLock lock(request_->lock);
        Request& r = *request_;
        if (r.body.empty()) return 0;
        // Blocks are in the body only once the worker has filled them: none is written again.
        Block& front = r.body.front();
        if (r.taken == 0) {
            block = front.Release();
#if defined(ORV_TRACE) && ORV_TRACE
            // The read-out begins once the whole body is in.
            if (r.handedOver++ == 0) r.blocks = r.body.size();
            if (r.handedOver == r.blocks / 2) ORV_TRACE_MEMORY("working set, read-out middle");
#endif
        }
        const std::size_t n = std::min(size, front.Size() - r.taken);
        r.taken += n;
        if (r.taken == front.Size()) {
            r.body.pop_front();
            r.taken = 0;
        }
        return n;
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
    static bool Running(Request& r) {
        ExclusiveLock lock(r.lock);
        return !r.done && !r.cancelled;
    }

    // Lets go of the current request: no more events from it, its handles closed (which also
    // wakes a worker blocked in them), its data dropped. Never waits for the worker.
    void Release() {
        if (request_) {
            Handles handles;
            std::deque<Block> body;  // given back outside the lock
            {
                ExclusiveLock lock(request_->lock);
                request_->cancelled = true;
                request_->SetEnded();
                handles = TakeHandlesLocked(*request_);
                body.swap(request_->body);
                request_->taken = 0;
            }
            // Outside the lock: closing may call the status callback on this thread.
            handles.Close();
        }
        // An earlier worker's handle is closed without waiting for it.
        if (worker_) previousWorker_ = std::move(worker_);
    }

    platform::TransferEvents* events_;
    HWND notify_ = nullptr;
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
