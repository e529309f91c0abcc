// Hash service: the system's cryptographic hash functions.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace orv::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;
using ByteSpan = std::span<const std::uint8_t>;

class Hash {
public:
    virtual ~Hash() = default;
    // The SHA-256 of the bytes of `pieces`, one after the other; throws AgentError when the
    // system cannot give it.
    virtual Sha256Digest Sha256(std::span<const ByteSpan> pieces) = 0;
};

} // namespace orv::platform
