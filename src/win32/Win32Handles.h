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
    // Closes the handle held, if any, and holds `handle` instead. The thread's last error is the
    // same afterwards: a handle closed on the way out of a failed call (a destructor on the error
    // path) must not change the error that the caller is about to read.
    void reset(Handle handle = Closer::Invalid()) noexcept {
        const Handle old = std::exchange(handle_, handle);
        if (old == Closer::Invalid()) return;
        const DWORD error = ::GetLastError();
        closer_(old);
        ::SetLastError(error);
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

// A window of the program's own classes, whose user data points at the object behind it: it is
// detached from that object first, so that nothing its destruction sends calls back into an object
// that is going away, and destroyed unless the system destroyed it already.
struct ProgramWindowCloser {
    using Handle = HWND;
    static Handle Invalid() noexcept { return nullptr; }
    bool operator()(Handle window) const noexcept {
        if (!::IsWindow(window)) return true;
        ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        return ::DestroyWindow(window) != FALSE;
    }
};
using UniqueWindow = Unique<ProgramWindowCloser>;

// A timer of a window, killed when the object goes (or with Stop).
class WindowTimer {
public:
    WindowTimer() = default;
    ~WindowTimer() { Stop(); }
    WindowTimer(const WindowTimer&) = delete;
    WindowTimer& operator=(const WindowTimer&) = delete;
    // Starts (or restarts) the timer `id` of `window`, every `intervalMs`; false when the system
    // has no timer to give.
    bool Start(HWND window, UINT_PTR id, UINT intervalMs) noexcept {
        Stop();
        if (!::SetTimer(window, id, intervalMs, nullptr)) return false;
        window_ = window;
        id_ = id;
        return true;
    }
    void Stop() noexcept {
        if (window_) ::KillTimer(std::exchange(window_, nullptr), id_);
    }
    bool Running() const noexcept { return window_ != nullptr; }

private:
    HWND window_ = nullptr;
    UINT_PTR id_ = 0;
};

// A GDI object selected into a device context for as long as the object lives; the one it
// replaced is selected again after.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// COM initialised on this thread for as long as the object lives (undone only when it was done).
class ComApartment {
public:
    explicit ComApartment(DWORD model) noexcept : result_(::CoInitializeEx(nullptr, model)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT Result() const noexcept { return result_; }

private:
    HRESULT result_;
};

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
