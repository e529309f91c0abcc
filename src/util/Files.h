// Files module: file existence, names from paths and addresses, the block-wise copy, and the
// write-then-replace used for every file the agent rewrites.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/Context.h"
#include "util/ByteBlocks.h"

namespace orv {

inline constexpr std::size_t kCopyBlockSize = 8192;

// True exactly when a file (not a folder) exists at `path`; false for null.
bool FileExists(AgentContext& ctx, const Variant& path);
// The text after the last "\" (or the whole text); the empty value for an empty argument.
// Raises 94 for null.
Variant GetFileNameFromPath(AgentContext& ctx, const Variant& path);
// The same with "/" as the separator.
Variant GetFileNameFromUrl(AgentContext& ctx, const Variant& address);

// True when `name` is a plain file name, one that can only name a file in the folder it is joined
// to: not empty, no separator ("\\" or "/"), no ":" (a drive or a stream), no control character
// or other character that Windows does not allow in a name, not "." or "..", no trailing dot or
// blank (Windows would drop them), and not a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to
// LPT9, CONIN$, CONOUT$, with or without an extension).
bool IsPlainFileName(const std::string& name);

// Copies `source` over `destination`. The copy goes to a new temporary file beside the
// destination (in the same folder, so that the replacement is a rename on one volume) that
// replaces it only once complete, so a failure leaves the destination as it was. On failure
// the user gets one "Whoops!" box that names the file that failed, and the result is false.
bool CopyFile(AgentContext& ctx, const std::string& source, const std::string& destination);

class TemporaryFile;

// Removes the temporary files beside `target` that earlier runs of the agent left behind (killed,
// or cut off by a power cut, while they wrote it) and that nobody has written for ten minutes;
// every other file, and one that a program still holds open, stays. Every write does this
// first, beside its own target.
void RemoveStaleTemporaryFiles(AgentContext& ctx, const std::string& target);

// A failed copy: the error, and the file it concerns (the source while it was read, the
// destination while it was written).
class CopyFailure : public AgentError {
public:
    CopyFailure(const AgentError& error, std::string file) : AgentError(error), file_(std::move(file)) {}
    const std::string& File() const { return file_; }

private:
    std::string file_;
};

// A copy of `source` written to a new temporary file beside `destination`, that takes the
// destination's name only when committed and is removed otherwise. Asked for its digest, it gives
// the SHA-256 of the bytes it wrote: what is checked is what would be installed, not a file that
// someone could change between a check and a copy.
class PendingCopy {
public:
    // The most of a file that is hashed to check it: the largest file that a build names, the
    // runtime's cabinet, is about half of it.
    static constexpr std::uint64_t kMaxDigestLength = std::uint64_t{64} * 1024 * 1024;

    // Copies; throws CopyFailure on failure, leaving nothing behind.
    PendingCopy(AgentContext& ctx, const std::string& source, const std::string& destination, bool digest);
    ~PendingCopy();
    PendingCopy(const PendingCopy&) = delete;
    PendingCopy& operator=(const PendingCopy&) = delete;

    // The SHA-256 of the bytes written; none when not asked for, or for a file longer than
    // kMaxDigestLength.
    const std::optional<platform::Sha256Digest>& Digest() const { return digest_; }
    // Gives the copy the destination's name; throws AgentError on failure.
    void Commit();
    const std::string& Destination() const { return destination_; }

private:
    std::unique_ptr<TemporaryFile> temp_;
    std::string destination_;
    std::optional<platform::Sha256Digest> digest_;
};

// The same as a step of a larger copy: the copy, or none after the one "Whoops!" box that
// CopyFile shows for a failed copy.
std::optional<PendingCopy> PrepareCopy(AgentContext& ctx, const std::string& source, const std::string& destination,
                                       bool digest);
// Commits a pending copy; false after that same box.
bool CommitCopy(AgentContext& ctx, PendingCopy& copy);
// That box, for `e`, naming `file`: the one that could not be read or written.
void ReportCopyFailure(AgentContext& ctx, const AgentError& e, const std::string& file);

// The SHA-256 of the file at `path` as it is on the disk now; none for a file of more than
// `maxBytes`, which is not read beyond them (not at all when its length says so). Throws
// AgentError when it cannot be read.
std::optional<platform::Sha256Digest> FileDigest(AgentContext& ctx, const std::string& path, std::uint64_t maxBytes);

// The SHA-256 of the bytes held, as one text; throws AgentError when the system cannot give it.
platform::Sha256Digest Sha256Of(platform::Hash& hash, const ByteBlocks& bytes);

// A SHA-256 written as 64 hexadecimal digits, in either case; none for anything else.
std::optional<platform::Sha256Digest> ParseSha256(const std::string& text);

// Writes `size` bytes to a temporary file beside `path`, then replaces `path` with it. On any
// failure the temporary file is removed, `path` keeps its former content and the error is
// thrown to the caller. Flushed: the file is on the disk before it replaces `path`.
void WriteFileReplacing(AgentContext& ctx, const std::string& path, const std::uint8_t* data, std::size_t size,
                        platform::Durability durability = platform::Durability::Flushed);
// The same with the bytes held in blocks.
void WriteFileReplacing(AgentContext& ctx, const std::string& path, const ByteBlocks& data,
                        platform::Durability durability);

} // namespace orv
