// Hash service: the system's cryptographic hash functions.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace orv::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Hash {
public:
    virtual ~Hash() = default;
    // The SHA-256 of `size` bytes at `data`; throws AgentError when the system cannot give it.
    virtual Sha256Digest Sha256(const std::uint8_t* data, std::size_t size) = 0;
};

} // namespace orv::platform
