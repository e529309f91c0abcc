#include "platform/win32/Win32FileSystem.h"

#include <limits>
#include <vector>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Errors.h"

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

class Win32File : public platform::File {
public:
    Win32File(HANDLE handle, bool writing) : handle_(handle), writing_(writing) {}
    ~Win32File() override {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    }
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;

    std::uint64_t Length() override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(Handle(), &size)) throw FileError(::GetLastError());
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        std::size_t total = 0;
        while (total < count) {
            const std::size_t left = count - total;
            const DWORD want = left > kLargestTransfer ? kLargestTransfer : static_cast<DWORD>(left);
            DWORD got = 0;
            if (!::ReadFile(Handle(), buffer + total, want, &got, nullptr)) throw FileError(::GetLastError());
            if (got == 0) break;
            total += got;
        }
        return total;
    }

    void Write(const std::uint8_t* data, std::size_t count) override {
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

    void Close() override {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        // A written file is flushed before it counts as complete: it is about to replace the
        // user's file, and the replacement must not outrun its contents on a power cut.
        const bool flushed = !writing_ || ::FlushFileBuffers(handle);
        const DWORD flushError = flushed ? ERROR_SUCCESS : ::GetLastError();
        const bool closed = ::CloseHandle(handle) != FALSE;
        if (!flushed) throw FileError(flushError);
        if (!closed) throw FileError(::GetLastError());
    }

private:
    HANDLE Handle() const {
        if (handle_ == INVALID_HANDLE_VALUE) throw AgentError(52, "Bad file name or number");
        return handle_;
    }

    HANDLE handle_;
    bool writing_;
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

std::string Win32FileSystem::ReadAllText(const std::string& path) {
    auto file = OpenRead(path);
    const std::uint64_t length = file->Length();
    if (length > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        throw AgentError(7, "Out of memory");
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
    return std::make_unique<Win32File>(handle, false);
}

std::unique_ptr<platform::File> Win32FileSystem::CreateWrite(const std::string& path) {
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw OpenError(path, ::GetLastError());
    return std::make_unique<Win32File>(handle, true);
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

void Win32FileSystem::RemoveFile(const std::string& path) noexcept { ::DeleteFileA(path.c_str()); }

} // namespace orv::win32
