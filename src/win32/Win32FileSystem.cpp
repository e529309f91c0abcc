#include "win32/Win32FileSystem.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Trace.h"
#include "win32/Win32Api.h"
#include "win32/Win32Errors.h"
#include "win32/Win32Handles.h"

namespace orv::win32 {
namespace {

bool IsFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The error of a failed open: a folder named where a file is expected is an access error, not a
// permission problem the user could fix with rights.
AgentError OpenError(const std::string& path, DWORD code) {
    if (code == ERROR_ACCESS_DENIED && IsFolder(path)) return {err::kPathFileAccess, "Path/File access error"};
    return FileError(code);
}

constexpr DWORD kLargestTransfer = 1u << 30;
// Callers move files in small blocks (a copy in blocks of 8192 bytes). Each of those reaching
// the system is a system call, and a round trip to the server under Wine: the file gathers
// them into transfers of this size, and reads ahead by as much.
constexpr std::size_t kBufferSize = 1024 * 1024;

// A file opened for reading or for writing (never both): reads are served from a read-ahead
// buffer, writes gathered in a write buffer that is written out when full and at Close.
class Win32File : public platform::File {
public:
    Win32File(UniqueFileHandle handle, bool writing, bool flush)
        : handle_(std::move(handle)), writing_(writing), flush_(flush) {}
    ~Win32File() override {
        if (!handle_) return;
        // Closed without Close (a caller on its way out after an error): what was handed to
        // Write still goes to the file, as it would have without the buffer; errors are
        // Close's to report, and nobody is left to hear them here. The handle closes after.
        if (writing_ && pending_ > 0 && !failed_) {
            try {
                WriteThrough(buffer_.get(), pending_);
            } catch (const AgentError&) {
            }
        }
    }
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;

    std::uint64_t Length() override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(Handle(), &size)) throw FileError(::GetLastError());
        // Written bytes still in the buffer belong to the file already.
        return static_cast<std::uint64_t>(size.QuadPart) + pending_;
    }

    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        Handle();
        std::size_t total = 0;
        while (total < count) {
            if (readPos_ < readEnd_) {
                const std::size_t n = std::min(count - total, readEnd_ - readPos_);
                std::memcpy(buffer + total, buffer_.get() + readPos_, n);
                readPos_ += n;
                total += n;
                continue;
            }
            if (atEnd_) break;
            const std::size_t left = count - total;
            // Never more ahead than the file holds: a read into memory that has not been used
            // yet costs, under some systems, the whole of that memory, not what was read.
            const std::size_t ahead = static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, FileLeft()));
            if (left >= ahead) {
                // A large read (or one for all the rest) goes straight to the caller's memory.
                const std::size_t got = ReadThrough(buffer + total, left);
                total += got;
                if (got < left) atEnd_ = true;
                continue;
            }
            EnsureBuffer();
            readPos_ = 0;
            readEnd_ = ReadThrough(buffer_.get(), ahead);
            if (readEnd_ < ahead) atEnd_ = true;
        }
        return total;
    }

    void Write(const std::uint8_t* data, std::size_t count) override {
        Handle();
        if (failed_) throw *failed_;
        while (count > 0) {
            if (pending_ == 0 && count >= kBufferSize) {
                // A large write goes straight from the caller's memory.
                Guarded([&] { WriteThrough(data, count); });
                return;
            }
            EnsureBuffer();
            const std::size_t n = std::min(count, kBufferSize - pending_);
            std::memcpy(buffer_.get() + pending_, data, n);
            pending_ += n;
            data += n;
            count -= n;
            if (pending_ == kBufferSize) WritePending();
        }
    }

    void Close() override {
        if (!handle_) return;
        // The first failure wins; the handle is closed whatever happens.
        std::unique_ptr<AgentError> error;
        if (failed_) error = std::make_unique<AgentError>(*failed_);
        if (writing_ && !error && pending_ > 0) {
            try {
                WritePending();
            } catch (const AgentError& e) {
                error = std::make_unique<AgentError>(e);
            }
        }
        UniqueFileHandle handle = std::move(handle_);
        // A written file that is about to replace the user's is flushed before it counts as
        // complete: the replacement must not outrun its contents on a power cut.
        const bool flushed = !writing_ || !flush_ || error || ::FlushFileBuffers(handle.get());
        if (writing_ && flush_) ORV_TRACE_EVENT("flushed");
        const DWORD flushError = flushed ? ERROR_SUCCESS : ::GetLastError();
        const bool closed = handle.close();
        const DWORD closeError = closed ? ERROR_SUCCESS : ::GetLastError();
        buffer_.reset();
        if (error) throw *error;
        if (!flushed) throw FileError(flushError);
        if (!closed) throw FileError(closeError);
    }

private:
    HANDLE Handle() const {
        if (!handle_) throw AgentError::BadFileNameOrNumber();
        return handle_.get();
    }

    // Runs a write; a failure is remembered, so that the file reports it again on every later
    // Write and at Close instead of passing for complete.
    template <typename Action> void Guarded(Action&& action) {
        try {
            action();
        } catch (const AgentError& e) {
            failed_ = std::make_unique<AgentError>(e);
            pending_ = 0;
            throw;
        }
    }

    void WritePending() {
        Guarded([&] { WriteThrough(buffer_.get(), pending_); });
        pending_ = 0;
    }

    // What the file holds beyond what has been read from it (from its length at the first read).
    std::uint64_t FileLeft() {
        if (!fileLeft_) {
            LARGE_INTEGER size{};
            fileLeft_ = ::GetFileSizeEx(Handle(), &size) ? static_cast<std::uint64_t>(size.QuadPart) : kBufferSize;
        }
        return *fileLeft_;
    }

    void EnsureBuffer() {
        if (!buffer_) buffer_.reset(new std::uint8_t[kBufferSize]);
    }

    std::size_t ReadThrough(std::uint8_t* buffer, std::size_t count) {
        std::size_t total = 0;
        while (total < count) {
            const std::size_t left = count - total;
            const DWORD want = left > kLargestTransfer ? kLargestTransfer : static_cast<DWORD>(left);
            DWORD got = 0;
            if (!::ReadFile(Handle(), buffer + total, want, &got, nullptr)) throw FileError(::GetLastError());
            if (got == 0) break;
            total += got;
            if (fileLeft_) *fileLeft_ -= std::min<std::uint64_t>(*fileLeft_, got);
        }
        return total;
    }

    void WriteThrough(const std::uint8_t* data, std::size_t count) {
        std::size_t total = 0;
        while (total < count) {
            const std::size_t left = count - total;
            const DWORD want = left > kLargestTransfer ? kLargestTransfer : static_cast<DWORD>(left);
            DWORD written = 0;
            if (!::WriteFile(Handle(), data + total, want, &written, nullptr)) throw FileError(::GetLastError());
            // A short write without an error is a full disk on every file system we meet.
            if (written == 0) throw FileError(ERROR_DISK_FULL);
            total += written;
        }
    }

    UniqueFileHandle handle_;  // empty once closed
    bool writing_;
    bool flush_;
    // Allocated on first use, and not filled beforehand: a page of it is made only when data
    // comes into it, so reading a small file does not cost the pages of the whole buffer.
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t pending_ = 0;           // writing: bytes in the buffer not yet written
    std::size_t readPos_ = 0;           // reading: the buffered bytes not yet handed out
    std::size_t readEnd_ = 0;
    bool atEnd_ = false;                // reading: the system has reported the end of the file
    std::optional<std::uint64_t> fileLeft_;  // reading: see FileLeft
    std::unique_ptr<AgentError> failed_;  // writing: the failure of an earlier write
};

} // namespace

bool Win32FileSystem::FileExists(const std::string& path) {
    if (path.empty()) return false;
    // Windows drops trailing blanks and dots from a name before it looks it up, so "x.ini " would
    // find "x.ini". No file can carry such a name, so the path names no existing file.
    if (path.back() == ' ' || path.back() == '.') return false;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string Win32FileSystem::FullPathName(const std::string& path) {
    std::vector<char> buffer(MAX_PATH + 1, '\0');
    DWORD length = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length >= buffer.size()) {
        buffer.assign(length + 1, '\0');
        length = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    }
    if (length == 0 || length >= buffer.size()) return {};
    return std::string(buffer.data(), length);
}

std::string Win32FileSystem::WindowsFolder() {
    std::vector<char> buffer(MAX_PATH + 1, '\0');
    UINT length = ::GetWindowsDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length >= buffer.size()) {
        buffer.assign(length + 1, '\0');
        length = ::GetWindowsDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
    }
    if (length == 0 || length >= buffer.size()) return {};
    std::string folder(buffer.data(), length);
    if (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
    return folder;
}

std::string Win32FileSystem::ReadAllText(const std::string& path, std::uint64_t maxBytes) {
    auto file = OpenRead(path);
    const std::uint64_t length = file->Length();
    if (length > maxBytes) throw AgentError::FileTooLarge(maxBytes);
    if (length > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        throw AgentError::OutOfMemory();
    std::string text(static_cast<std::size_t>(length), '\0');
    const std::size_t got = length ? file->Read(reinterpret_cast<std::uint8_t*>(text.data()), text.size()) : 0;
    text.resize(got);
    file->Close();
    return text;
}

std::unique_ptr<platform::File> Win32FileSystem::OpenRead(const std::string& path) {
    // Others may go on reading (and the front-end's installer may even be writing) the file.
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw OpenError(path, ::GetLastError());
    return AdoptFileHandle(handle, false);
}

std::unique_ptr<platform::File> Win32FileSystem::CreateNew(const std::string& path, platform::Durability durability) {
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw OpenError(path, ::GetLastError());
    return AdoptFileHandle(handle, true, durability == platform::Durability::Flushed);
}

void Win32FileSystem::ReplaceFile(const std::string& source, const std::string& destination) {
    // Windows refuses to move a file over a read-only one, but not every implementation of the
    // API does (Wine replaces it): a write-protected file stays protected either way.
    const DWORD attributes = ::GetFileAttributesA(destination.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        throw FileError(ERROR_ACCESS_DENIED);
    if (!::MoveFileExA(source.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw OpenError(destination, ::GetLastError());
}

std::unique_ptr<platform::File> AdoptFileHandle(void* handle, bool writing, bool flushed) {
    // Owned before the file object is made, so that a failed allocation still closes it.
    UniqueFileHandle owned(static_cast<HANDLE>(handle));
    return std::make_unique<Win32File>(std::move(owned), writing, flushed);
}

void Win32FileSystem::RemoveFile(const std::string& path) noexcept { ::DeleteFileA(path.c_str()); }

std::vector<platform::FoundFile> Win32FileSystem::FindFiles(const std::string& folder, const std::string& prefix) {
    std::vector<platform::FoundFile> found;
    WIN32_FIND_DATAA data{};
    UniqueFindHandle search(::FindFirstFileA((folder + "\\" + prefix + "*").c_str(), &data));
    if (!search) return found;
    const auto ticks = [](const FILETIME& t) {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    constexpr std::int64_t kTicksPerSecond = 10'000'000;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        found.push_back({data.cFileName, (ticks(now) - ticks(data.ftLastWriteTime)) / kTicksPerSecond});
    } while (::FindNextFileA(search.get(), &data));
    return found;
}

} // namespace orv::win32
