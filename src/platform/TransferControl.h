// Transfer control service: one HTTP GET at a time, with the states of the published Internet
// Transfer control. State changes are delivered on the window thread, through the event loop.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orv::platform {

// The published control's state numbers.
enum TransferState : std::int16_t {
    icNone = 0,
    icHostResolvingHost = 1,
    icHostResolved = 2,
    icConnecting = 3,
    icConnected = 4,
    icRequesting = 5,
    icRequestSent = 6,
    icReceivingResponse = 7,
    icResponseReceived = 8,
    icDisconnecting = 9,
    icDisconnected = 10,
    icError = 11,
    icResponseCompleted = 12,
};

// What went wrong with a request, as facts: which kind of failure, the system's error number and
// the numbers of the answer. The control never words a failure, and never passes on any text of
// the server's: everything the user reads about it is the agent's own.
struct TransferFailure {
    enum class Kind {
        None,
        NameNotResolved,   // the server's name could not be looked up
        CannotConnect,     // no connection to the server (or the proxy) could be made
        ConnectionLost,    // the connection was closed or reset before the answer came
        Timeout,           // no answer within the request time-out
        Certificate,       // the server's certificate could not be verified
        HttpStatus,        // an answer other than success: httpStatus (0: no status understood)
        Truncated,         // the body ended before all of it had come: received of announced
        TooLarge,          // more than the body limit was announced or sent
        InsecureRedirect,  // a secure request was sent on to an address that is not secure
        TooManyRedirects,  // sent on more often than the control follows
        BadAddress,        // the address is not an http:// or https:// address
        NotStarted,        // the request could not be started (no Internet library, no thread)
        OutOfMemory,       // the body did not fit into memory
        Other,             // another failure of the system: systemError
    };
    Kind kind = Kind::None;
    std::uint32_t systemError = 0;  // the system's error number, 0 when none
    std::int32_t httpStatus = 0;    // for HttpStatus
    std::int64_t received = -1;     // bytes of the body that had come, -1 when not counted
    std::int64_t announced = -1;    // the length the server announced, -1 when none
};

// The control keeps the body in blocks of this size, each full but the last, and hands them
// over whole to whoever reads the body out: the body is held once, and never copied on its way.
inline constexpr std::size_t kBodyBlockSize = 64 * 1024;
using BodyBlock = std::unique_ptr<std::uint8_t[]>;

class TransferEvents {
public:
    virtual ~TransferEvents() = default;
    virtual void OnTransferStateChanged(std::int16_t state) = 0;
};

class TransferControl {
public:
    virtual ~TransferControl() = default;
    virtual void SetRequestTimeout(std::int32_t seconds) = 0;
    // The most body the control takes in: a response that announces or sends more fails as
    // TooLarge, and the control stops reading it (a server that never stops sending must not
    // take all the memory there is).
    virtual void SetBodyLimit(std::int64_t bytes) = 0;
    // Starts the request and returns at once.
    virtual void Execute(const std::string& url, const std::string& operation) = 0;
    virtual bool StillExecuting() = 0;
    // Takes the next at most `size` bytes of the body, never more than the rest of the block
    // they are in; returns how many, 0 when nothing is left. Nothing is copied: with the first
    // bytes taken from a block, the block itself is handed over in `block` (the caller's from
    // then on: the bytes taken are at its start, and those taken from it later follow them
    // there); else `block` is left empty. With a size that divides kBodyBlockSize, as the
    // read-out's does, every chunk but the last is whole.
    virtual std::size_t GetChunk(std::size_t size, BodyBlock& block) = 0;
    virtual std::string URL() = 0;
    virtual void Cancel() = 0;
    // The reply's status code (0 before a response), the announced Content-Length (-1 when
    // none was given) and the failure of the request, if any.
    virtual std::int32_t ResponseCode() = 0;
    virtual std::int64_t ContentLength() = 0;
    virtual TransferFailure Failure() = 0;
};

class TransferFactory {
public:
    virtual ~TransferFactory() = default;
    virtual std::unique_ptr<TransferControl> CreateTransferControl(TransferEvents& events) = 0;
    // A transfer may soon be asked for: what it needs (the system's Internet library) is made
    // ready in the background, and returns at once. Nothing is sent.
    virtual void Prepare() = 0;
};

} // namespace orv::platform
