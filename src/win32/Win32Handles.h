// Owning types for the handles the Windows backend opens. Each handle is held by a type that
// names how it is closed, so that closing is never left to the code around it: whoever holds one
// closes it exactly once, on every path, and handing it on is a move.
#pragma once
#include <utility>

#include "win32/Win32Api.h"

#include <bcrypt.h>
#include <wininet.h>

namespace orv::win32 {

// Owns one handle, closed by a Closer: a function object that also says which value means "no
// handle" (Closer::Invalid()) and returns whether the system accepted the close. A closer may
// carry the address of a close function loaded at run time; it moves with the handle.
template <typename Closer> class Unique {
public:
    using Handle = typename Closer::Handle;

    Unique() = default;
    explicit Unique(Handle handle, Closer closer = Closer()) noexcept : handle_(handle), closer_(closer) {}
    // An empty one that will close what a function hands out through put().
    explicit Unique(Closer closer) noexcept : closer_(closer) {}
    Unique(Unique&& other) noexcept : handle_(other.release()), closer_(other.closer_) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) {
            reset(other.release());
            closer_ = other.closer_;
        }
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Closer::Invalid(); }

    // Gives the handle up without closing it: the caller now owns it.
    Handle release() noexcept { return std::exchange(handle_, Closer::Invalid()); }
    // Closes the handle held, if any, and holds `handle` instead.
    void reset(Handle handle = Closer::Invalid()) noexcept {
        const Handle old = std::exchange(handle_, handle);
        if (old != Closer::Invalid()) closer_(old);
    }
    // Closes the handle held now, for a caller that reports a failed close: false when the
    // system refused (GetLastError says why), true when it closed or there was nothing to close.
    bool close() noexcept {
        const Handle old = release();
        return old == Closer::Invalid() || closer_(old);
    }
    // For a function that hands out a new handle through a pointer: the handle held is closed
    // first, and the one written there is owned.
    Handle* put() noexcept {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Closer::Invalid();
    Closer closer_{};
};

// Kernel objects other than files (events, threads, processes): null when there is none.
struct KernelHandleCloser {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    bool operator()(Handle handle) const noexcept { return ::CloseHandle(handle) != FALSE; }
};
using UniqueHandle = Unique<KernelHandleCloser>;

// Files, whose functions answer INVALID_HANDLE_VALUE, not null, when they open nothing; closed
// as every kernel object is.
struct FileHandleCloser : KernelHandleCloser {
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
};
using UniqueFileHandle = Unique<FileHandleCloser>;

// A search of FindFirstFileA, closed with FindClose.
struct FindHandleCloser {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    bool operator()(Handle handle) const noexcept { return ::FindClose(handle) != FALSE; }
};
using UniqueFindHandle = Unique<FindHandleCloser>;

// WinINet handles (session, connection, request). WinINet is loaded on the first download, so
// the handle carries the address of InternetCloseHandle from the loaded library.
struct InternetHandleCloser {
    using Handle = HINTERNET;
    static Handle Invalid() noexcept { return nullptr; }
    bool operator()(Handle handle) const noexcept { return close(handle) != FALSE; }
    decltype(&::InternetCloseHandle) close = nullptr;
};
using UniqueInternetHandle = Unique<InternetHandleCloser>;

// CNG's algorithm providers and hashes; CNG is loaded with the first hash, so these too carry
// the address of their close function.
struct BcryptAlgorithmCloser {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    bool operator()(Handle handle) const noexcept { return close(handle, 0) >= 0; }
    decltype(&::BCryptCloseAlgorithmProvider) close = nullptr;
};
using UniqueBcryptAlgorithm = Unique<BcryptAlgorithmCloser>;

struct BcryptHashCloser {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    bool operator()(Handle handle) const noexcept { return destroy(handle) >= 0; }
    decltype(&::BCryptDestroyHash) destroy = nullptr;
};
using UniqueBcryptHash = Unique<BcryptHashCloser>;

// A GDI object made by the program (a font, a brush), deleted with DeleteObject once nothing
// draws with it any more.
template <typename Object> struct GdiObjectCloser {
    using Handle = Object;
    static Handle Invalid() noexcept { return nullptr; }
    bool operator()(Handle object) const noexcept { return ::DeleteObject(object) != FALSE; }
};
using UniqueFont = Unique<GdiObjectCloser<HFONT>>;

// A registry key. The registry service hands its keys to the core, which closes them through
// the service: Close is also that close, and returns the system's status.
struct RegKeyCloser {
    using Handle = HKEY;
    static Handle Invalid() noexcept { return nullptr; }
    static LONG Close(Handle key) noexcept { return ::RegCloseKey(key); }
    bool operator()(Handle key) const noexcept { return Close(key) == ERROR_SUCCESS; }
};
using UniqueRegKey = Unique<RegKeyCloser>;

// Memory that a system function allocated for its caller with LocalAlloc (FormatMessageA's text).
template <typename Pointer> struct LocalMemoryCloser {
    using Handle = Pointer;
    static Handle Invalid() noexcept { return nullptr; }
    bool operator()(Handle memory) const noexcept { return ::LocalFree(memory) == nullptr; }
};
using UniqueLocalText = Unique<LocalMemoryCloser<char*>>;

// A window's device context (the screen's when the window is null), from GetDC for as long as
// the object lives.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Holds an SRWLOCK exclusively for as long as the object lives.
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) noexcept : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

} // namespace orv::win32
