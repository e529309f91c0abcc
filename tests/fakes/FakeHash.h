#pragma once
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/Error.h"
#include "platform/Hash.h"

namespace orv::fakes {

// Not SHA-256: a digest of its own, as sensitive to every byte, that tests compute through it.
class FakeHash : public platform::Hash {
public:
    platform::Sha256Digest Sha256(std::span<const platform::ByteSpan> pieces) override;
    platform::Sha256Digest Sha256Of(const std::vector<std::uint8_t>& bytes) {
        const platform::ByteSpan whole(bytes);
        return Sha256(std::span<const platform::ByteSpan>(&whole, 1));
    }
    std::optional<AgentError> error;  // thrown when set
    int calls = 0;
};

// The digest in lower-case hexadecimal, as the build setting writes it.
std::string HexOf(const platform::Sha256Digest& digest);

} // namespace orv::fakes
