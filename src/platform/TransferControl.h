// Transfer control service: one HTTP GET at a time, with the states of the published Internet
// Transfer control. State changes are delivered on the window thread, through the event loop.
#pragma once
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

// What went wrong with a request, for the failure rules of the download window.
struct TransferFailure {
    enum class Kind { None, Connection, Timeout, HttpStatus, Truncated, TooLarge, Other };
    Kind kind = Kind::None;
    std::int32_t httpStatus = 0;       // for HttpStatus
    std::string text;                  // a description a user can read
};

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
    // Copies the next at most `size` bytes of the body not yet taken to `buffer`; returns how
    // many, 0 when nothing is left. (The caller's buffer: the read-out takes the body in small
    // pieces, and a piece must not cost an allocation.)
    virtual std::size_t GetChunk(std::uint8_t* buffer, std::size_t size) = 0;
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
