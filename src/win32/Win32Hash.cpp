#include "win32/Win32Hash.h"

#include <string>

#include "common/Error.h"
#include "win32/Win32Api.h"
#include "win32/Win32Handles.h"
#include "win32/Win32Libraries.h"

namespace orv::win32 {
namespace {

// CNG, loaded with the first hash: most runs of the agent never need it.
struct Cng {
    decltype(&::BCryptOpenAlgorithmProvider) OpenAlgorithmProvider = nullptr;
    decltype(&::BCryptCloseAlgorithmProvider) CloseAlgorithmProvider = nullptr;
    decltype(&::BCryptCreateHash) CreateHash = nullptr;
    decltype(&::BCryptHashData) HashData = nullptr;
    decltype(&::BCryptFinishHash) FinishHash = nullptr;
    decltype(&::BCryptDestroyHash) DestroyHash = nullptr;
    bool loaded = false;
};

Cng LoadCng() {
    Cng api;
    HMODULE module = LoadSystemLibrary("bcrypt.dll");
    api.OpenAlgorithmProvider = ORV_PROC_ADDRESS(module, BCryptOpenAlgorithmProvider);
    api.CloseAlgorithmProvider = ORV_PROC_ADDRESS(module, BCryptCloseAlgorithmProvider);
    api.CreateHash = ORV_PROC_ADDRESS(module, BCryptCreateHash);
    api.HashData = ORV_PROC_ADDRESS(module, BCryptHashData);
    api.FinishHash = ORV_PROC_ADDRESS(module, BCryptFinishHash);
    api.DestroyHash = ORV_PROC_ADDRESS(module, BCryptDestroyHash);
    api.loaded = api.OpenAlgorithmProvider && api.CloseAlgorithmProvider && api.CreateHash && api.HashData &&
                 api.FinishHash && api.DestroyHash;
    return api;
}

AgentError HashError(const char* what, NTSTATUS status) {
    return AgentError(err::kPathFileAccess, std::string("the system could not compute a SHA-256 (") + what +
                                                " failed, status " + std::to_string(static_cast<long>(status)) + ").");
}

} // namespace

platform::Sha256Digest Win32Hash::Sha256(std::span<const platform::ByteSpan> pieces) {
    static const Cng cng = LoadCng();
    if (!cng.loaded)
        throw AgentError(err::kFileNotFound, "the system's cryptography (bcrypt.dll) could not be loaded.");

    BCRYPT_ALG_HANDLE opened = nullptr;
    NTSTATUS status = cng.OpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (status < 0) throw HashError("BCryptOpenAlgorithmProvider", status);
    const UniqueBcryptAlgorithm algorithm(opened, BcryptAlgorithmCloser{cng.CloseAlgorithmProvider});
    // Destroyed before the algorithm provider it was made with.
    UniqueBcryptHash hash(BcryptHashCloser{cng.DestroyHash});
    status = cng.CreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0);
    // Each piece goes in parts that a ULONG can count, whatever the size of size_t.
    constexpr std::size_t kPart = 1u << 30;
    for (const platform::ByteSpan piece : pieces) {
        for (std::size_t done = 0; status >= 0 && done < piece.size();) {
            const std::size_t part = piece.size() - done < kPart ? piece.size() - done : kPart;
            status = cng.HashData(hash.get(), const_cast<PUCHAR>(piece.data() + done), static_cast<ULONG>(part), 0);
            done += part;
        }
    }
    platform::Sha256Digest digest{};
    if (status >= 0) status = cng.FinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0);
    if (status < 0) throw HashError("BCrypt hashing", status);
    return digest;
}

} // namespace orv::win32
