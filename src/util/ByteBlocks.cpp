#include "util/ByteBlocks.h"

#include <cstring>

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
