// Bytes held in blocks of one size, for a body that arrives in pieces: appending never moves or
// copies what is held, never needs the whole in one piece of memory (which a 32-bit program's
// address space may not have), and takes memory one block at a time. A block filled elsewhere
// can be taken over whole, and its bytes counted in as they are taken, so that a body handed on
// in pieces is never copied.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace orv {

class ByteBlocks {
public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    void Append(const std::uint8_t* data, std::size_t size);
    // Takes `block`, of kBlockSize bytes, as the next block; every block held must be full. None
    // of its bytes counts as held until Grow counts them.
    void Adopt(std::unique_ptr<std::uint8_t[]> block);
    // Counts the next `size` bytes of the last block as held: bytes already there (written by
    // whoever handed the block over), within the block.
    void Grow(std::size_t size);
    std::size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    // The memory held: whole blocks.
    std::size_t Capacity() const { return blocks_.size() * kBlockSize; }
    // Gives every block back.
    void Clear();
    // Calls `visit(data, size)` for each block's bytes, in order.
    template <typename Visit> void ForEachBlock(Visit&& visit) const {
        std::size_t left = size_;
        for (const auto& block : blocks_) {
            const std::size_t n = left < kBlockSize ? left : kBlockSize;
            if (n == 0) break;
            visit(block.get(), n);
            left -= n;
        }
    }
    std::vector<std::uint8_t> ToVector() const;

private:
    std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
    std::size_t size_ = 0;
};

} // namespace orv
