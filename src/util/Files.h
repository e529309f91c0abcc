// Files module: file existence, names from paths and addresses, the block-wise copy, and the
// write-then-replace used for every file the agent rewrites.
#pragma once
#include <cstddef>
#include <cstdint>
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
// the user gets one "Whoops!" box and the result is false.
bool CopyFile(AgentContext& ctx, const std::string& source, const std::string& destination);

// Writes `size` bytes to a temporary file beside `path`, then replaces `path` with it. On any
// failure the temporary file is removed, `path` keeps its former content and the error is
// thrown to the caller. Flushed: the file is on the disk before it replaces `path`.
void WriteFileReplacing(AgentContext& ctx, const std::string& path, const std::uint8_t* data, std::size_t size,
                        platform::Durability durability = platform::Durability::Flushed);
// The same with the bytes held in blocks.
void WriteFileReplacing(AgentContext& ctx, const std::string& path, const ByteBlocks& data,
                        platform::Durability durability);

} // namespace orv
