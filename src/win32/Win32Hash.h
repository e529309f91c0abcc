// Hash service on the system's cryptography (CNG, bcrypt.dll, loaded when first needed).
#pragma once
#include "platform/Hash.h"

namespace orv::win32 {

class Win32Hash : public platform::Hash {
public:
    platform::Sha256Digest Sha256(std::span<const platform::ByteSpan> pieces) override;
};

} // namespace orv::win32
