#include "fakes/FakeTransfer.h"

#include <algorithm>
#include <memory>

#include "fakes/FakeWindows.h"

namespace orv::fakes {

FakeTransferControl::~FakeTransferControl() {
    if (owner.control == this) owner.control = nullptr;
}

void FakeTransferControl::Execute(const std::string& u, const std::string& op) {
    url = u;
    operation = op;
    owner.journal.push_back("execute " + op + " " + u);
    if (!owner.windows) return;
    // The states arrive later, through the window's event loop, as the real control's do.
    for (const std::int16_t state : owner.statesOnExecute) {
        FakeTransferFactory* factory = &owner;
        owner.windows->Post([factory, state] {
            if (factory->control) factory->control->events.OnTransferStateChanged(state);
        });
    }
}

bool FakeTransferControl::StillExecuting() {
    ++stillExecutingPolls;
    return stillExecutingPolls <= owner.busyPolls;
}

std::size_t FakeTransferControl::GetChunk(std::size_t size, platform::BodyBlock& block) {
    chunkSizes.push_back(size);
    block.reset();
    constexpr std::size_t B = platform::kBodyBlockSize;
    const std::size_t n = std::min({size, owner.body.size() - offset, B - offset % B});
    if (n > 0 && offset % B == 0) {
        // The whole block at once, as the real control received it.
        block = std::make_unique_for_overwrite<std::uint8_t[]>(B);
        const std::size_t filled = std::min(B, owner.body.size() - offset);
        std::copy_n(owner.body.begin() + static_cast<std::ptrdiff_t>(offset), filled, block.get());
    }
    offset += n;
    return n;
}

void FakeTransferControl::Cancel() {
    ++cancels;
    owner.journal.push_back("cancel");
}

std::int32_t FakeTransferControl::ResponseCode() { return owner.responseCode; }
std::int64_t FakeTransferControl::ContentLength() { return owner.contentLength; }
platform::TransferFailure FakeTransferControl::Failure() {
    if (owner.failure.kind == platform::TransferFailure::Kind::None && bodyLimit >= 0 &&
        static_cast<std::int64_t>(owner.body.size()) > bodyLimit) {
        platform::TransferFailure tooLarge;
        tooLarge.kind = platform::TransferFailure::Kind::TooLarge;
        return tooLarge;
    }
    return owner.failure;
}

std::unique_ptr<platform::TransferControl> FakeTransferFactory::CreateTransferControl(
    platform::TransferEvents& events) {
    auto c = std::make_unique<FakeTransferControl>(*this, events);
    control = c.get();
    return c;
}

} // namespace orv::fakes
