// File system service: existence tests, whole-text and raw block access, atomic replacement.
// Every failure is thrown as an AgentError whose number and description a user can act on
// (53 file not found, 76 path not found, 70 permission denied, 61 disk full, 75 path/file
// access error, ...).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orv::platform {

// An open file for raw byte access. Close() is explicit so that its failure (a buffered write
// that cannot be flushed) is seen; the destructor closes silently what is still open.
class File {
public:
    virtual ~File() = default;
    virtual std::uint64_t Length() = 0;
    // Reads up to `count` bytes at the current position; returns the number read (0 at the end).
    virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
    // Writes all `count` bytes at the current position or throws.
    virtual void Write(const std::uint8_t* data, std::size_t count) = 0;
    virtual void Close() = 0;
};

// Whether a written file is on the disk when Close returns: a file that replaces the user's own
// must be (its replacement must not outrun its contents on a power cut); one that can simply be
// fetched again need not pay for it.
enum class Durability { Flushed, Cached };

// A file that a search of a folder found.
struct FoundFile {
    std::string name;             // without the folder
    std::int64_t ageSeconds = 0;  // since it was last written (below 0 when that lies ahead)
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // True exactly when a file (not a folder) exists at `path`; false when it cannot be tested.
    virtual bool FileExists(const std::string& path) = 0;
    // GetFullPathNameA: the absolute path that `path` names ("/" read as "\", "." and ".."
    // resolved), without touching the disk; "" when it has none.
    virtual std::string FullPathName(const std::string& path) = 0;
    // The Windows folder, without a trailing "\".
    virtual std::string WindowsFolder() = 0;
    // The whole file as text in the ANSI code page (bytes unchanged). A file of more than
    // `maxBytes` throws 75 before any of it is read into memory.
    virtual std::string ReadAllText(const std::string& path, std::uint64_t maxBytes) = 0;
    virtual std::unique_ptr<File> OpenRead(const std::string& path) = 0;
    // Creates the file for writing only if nothing has that name yet: an existing file, or a
    // link, is neither followed nor emptied (error 58 "File already exists").
    virtual std::unique_ptr<File> CreateNew(const std::string& path, Durability durability) = 0;
    // Moves `source` over `destination`, replacing it (MoveFileEx with MOVEFILE_REPLACE_EXISTING).
    virtual void ReplaceFile(const std::string& source, const std::string& destination) = 0;
    // Removes a file; a failure is ignored (used for clean-up of temporary files). A file that a
    // program holds open without letting others delete it (as CreateNew opens its files) stays.
    virtual void RemoveFile(const std::string& path) noexcept = 0;
    // The files (not folders) of `folder` whose names begin with `prefix`, in either case; none
    // when the folder cannot be searched.
    virtual std::vector<FoundFile> FindFiles(const std::string& folder, const std::string& prefix) = 0;
};

} // namespace orv::platform
