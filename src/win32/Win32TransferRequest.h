// The state of one request of the transfer control, shared by the control on the window thread
// and its worker: the request's WinINet handles, the body in blocks, the answer and how it ended.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/TransferControl.h"
#include "win32/Win32Api.h"
#include "win32/Win32Handles.h"

namespace orv::win32::transfer {

// Posted to the control's notify window with a state change: the request's generation in wParam,
// the state in lParam.
constexpr UINT kStateMessage = WM_APP + 0x31;

// A block of the body, received into and then handed over whole: the body is held once, and
// its pages are made once (where making fresh pages is costly, that is a good part of the
// download's time). The storage is not filled beforehand, for the same reason.
class Block {
public:
    Block() = default;
    explicit Block(std::size_t capacity) : data_(new std::uint8_t[capacity]), capacity_(capacity) {}
    Block(Block&& other) noexcept;
    Block& operator=(Block&& other) noexcept;

    // Hands the storage over; the size stays, for counting what is taken of it.
    platform::BodyBlock Release() { return std::move(data_); }
    std::size_t Size() const { return size_; }
    std::size_t Room() const { return capacity_ - size_; }
    // Copies as much of `data` as there is room for; returns how much.
    std::size_t Fill(const std::uint8_t* data, std::size_t size);

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
    platform::TransferFailure failure;

    Request() = default;
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // Called with the lock held.
    void PostLocked(std::int16_t state);
    void SetEnded() const {
        if (ended) ::SetEvent(ended.get());
    }
};

using Slot = UniqueInternetHandle Request::*;

// The handle in `slot`, or null once the control has let go.
HINTERNET CurrentHandle(Request& r, Slot slot);
// Stores a handle the worker has just opened, unless the control has cancelled meanwhile; then
// the worker closes it itself, outside the lock, and false.
bool Adopt(Request& r, Slot slot, UniqueInternetHandle handle);
// Closes the connection and request of a hop that was sent on, so that the next hop's take
// their slots.
void DropHop(Request& r);
// Adds a filled block to the body; false once the control has let go.
bool AddBlock(Request& r, Block block);
// Ends the request with `failure` (Kind::None: done), unless the control has let go already.
void Finish(Request& r, const platform::TransferFailure& failure);
bool Running(Request& r);
// Takes the next at most `size` bytes of the body, as TransferControl::GetChunk does.
std::size_t TakeChunk(Request& r, std::size_t size, platform::BodyBlock& block);
// Lets go of the request: no more events from it, its handles closed (which also wakes a worker
// blocked in them), its body dropped. Never waits for the worker.
void LetGo(Request& r);

} // namespace orv::win32::transfer
