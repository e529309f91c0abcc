#include "fakes/FakeHash.h"



namespace orv::fakes {

platform::Sha256Digest FakeHash::Sha256(std::span<const platform::ByteSpan> pieces) {
    ++calls;
    if (error) throw *error;
    // Four FNV-1a sums with different starting values, with the length mixed in: the pieces
    // count as the one text they make.
    std::size_t size = 0;
    for (const auto piece : pieces) size += piece.size();
    platform::Sha256Digest digest{};
    for (std::size_t lane = 0; lane < 4; ++lane) {
        std::uint64_t h = 0xcbf29ce484222325ull + lane * 0x9e3779b97f4a7c15ull + size;
        for (const auto piece : pieces)
            for (const std::uint8_t byte : piece) h = (h ^ byte) * 0x100000001b3ull;
        for (std::size_t b = 0; b < 8; ++b) digest[lane * 8 + b] = static_cast<std::uint8_t>(h >> (8 * b));
    }
    return digest;
}

std::string HexOf(const platform::Sha256Digest& digest) {
    static const char* const kDigits = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t b : digest) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

} // namespace orv::fakes
