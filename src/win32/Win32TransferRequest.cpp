#include "win32/Win32TransferRequest.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/Trace.h"

namespace orv::win32::transfer {
namespace {

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

} // namespace

Block::Block(Block&& other) noexcept
    : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

Block& Block::operator=(Block&& other) noexcept {
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
}

std::size_t Block::Fill(const std::uint8_t* data, std::size_t size) {
    const std::size_t n = std::min(size, Room());
    std::memcpy(data_.get() + size_, data, n);
    size_ += n;
    return n;
}

void Request::PostLocked(std::int16_t state) {
    if (cancelled || !notify) return;
    lastState = state;
    ::PostMessageA(notify, kStateMessage, generation, static_cast<LPARAM>(state));
}

HINTERNET CurrentHandle(Request& r, Slot slot) {
    ExclusiveLock lock(r.lock);
    return r.cancelled ? nullptr : (r.*slot).get();
}

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

void DropHop(Request& r) {
    Handles hop;  // closed once the lock is released
    ExclusiveLock lock(r.lock);
    hop.handle = std::move(r.handle);
    hop.connection = std::move(r.connection);
}

bool AddBlock(Request& r, Block block) {
    ExclusiveLock lock(r.lock);
    if (r.cancelled) return false;
    r.body.push_back(std::move(block));
    return true;
}

void Finish(Request& r, const platform::TransferFailure& failure) {
    Handles handles;  // declared before the lock, so closed after it is released
    {
        ExclusiveLock lock(r.lock);
        if (r.cancelled) return;  // Cancel has taken and closed the handles
        r.failure = failure;
        r.done = true;
        r.SetEnded();
        handles = TakeHandlesLocked(r);
        r.PostLocked(failure.kind == platform::TransferFailure::Kind::None ? platform::icResponseCompleted
                                                                           : platform::icError);
    }
}

bool Running(Request& r) {
    ExclusiveLock lock(r.lock);
    return !r.done && !r.cancelled;
}

std::size_t TakeChunk(Request& r, std::size_t size, platform::BodyBlock& block) {
    ExclusiveLock lock(r.lock);
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

void LetGo(Request& r) {
    Handles handles;
    std::deque<Block> body;  // given back outside the lock
    {
        ExclusiveLock lock(r.lock);
        r.cancelled = true;
        r.SetEnded();
        handles = TakeHandlesLocked(r);
        body.swap(r.body);
        r.taken = 0;
    }
    // Outside the lock: closing may call the status callback on this thread.
    handles.Close();
}

} // namespace orv::win32::transfer
