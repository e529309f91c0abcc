#include "util/ByteBlocks.h"

#include <cstring>

#include "common/Error.h"

namespace orv {

void ByteBlocks::Append(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const std::size_t used = size_ % kBlockSize;
        if (used == 0 && size_ == Capacity()) {
            // Not value-initialised: every byte of it is written before it is read.
            blocks_.push_back(std::unique_ptr<std::uint8_t[]>(new std::uint8_t[kBlockSize]));
        }
        std::uint8_t* block = blocks_[size_ / kBlockSize].get();
        const std::size_t n = size < kBlockSize - used ? size : kBlockSize - used;
        std::memcpy(block + used, data, n);
        data += n;
        size -= n;
        size_ += n;
    }
}

void ByteBlocks::Adopt(std::unique_ptr<std::uint8_t[]> block) {
    // A block taken beside one not yet full would leave a gap in the bytes.
    if (size_ != Capacity() || !block) throw AgentError(err::kInternalError, "Internal error");
    blocks_.push_back(std::move(block));
}

void ByteBlocks::Grow(std::size_t size) {
    // Every block but the last is full, so the room left is the last block's.
    if (size > Capacity() - size_) throw AgentError(err::kInternalError, "Internal error");
    size_ += size;
}

void ByteBlocks::Clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    size_ = 0;
}

std::vector<std::uint8_t> ByteBlocks::ToVector() const {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size_);
    ForEachBlock([&](const std::uint8_t* block, std::size_t n) { bytes.insert(bytes.end(), block, block + n); });
    return bytes;
}

} // namespace orv
