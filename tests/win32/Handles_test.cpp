// The backend's owning handle types: each handle is closed exactly once, by whoever holds it
// last, and "no handle" is the value the system's function answers when it opens nothing.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "win32/Win32Handles.h"

namespace orv {
namespace {

using win32::Unique;

// A closer that records what it closes instead of closing anything; -1 is its "no handle", so
// that 0 is a handle like any other.
struct Closed {
    std::vector<int> numbers;
    bool refuse = false;  // the close fails (and the handle is gone even so)
};
struct RecordingCloser {
    using Handle = int;
    static Handle Invalid() noexcept { return -1; }
    bool operator()(Handle number) const noexcept {
        closed->numbers.push_back(number);
        // As a system close does, it sets the thread's last error.
        ::SetLastError(closed->refuse ? ERROR_INVALID_HANDLE : ERROR_SUCCESS);
        return !closed->refuse;
    }
    Closed* closed = nullptr;
};
using UniqueNumber = Unique<RecordingCloser>;

TEST(Win32Handles, EachHandleIsClosedOnceByItsLastHolder) {
    Closed closed;
    {
        UniqueNumber first(1, {&closed});
        UniqueNumber second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), 1);
        UniqueNumber third(2, {&closed});
        third = std::move(second);  // closes 2, holds 1
        EXPECT_EQ(closed.numbers, std::vector<int>{2});
        const UniqueNumber zero(0, {&closed});
        EXPECT_TRUE(zero);
        EXPECT_EQ(UniqueNumber(3, {&closed}).release(), 3);  // given up, not closed
        UniqueNumber out(4, {&closed});
        *out.put() = 5;  // closes 4, holds what the "function" wrote
        EXPECT_EQ(out.get(), 5);
        third.reset(6);  // closes 1
    }
    // Then, leaving the scope: out (5), zero (0), third (6).
    EXPECT_EQ(closed.numbers, (std::vector<int>{2, 4, 1, 5, 0, 6}));
}

TEST(Win32Handles, CloseSaysWhetherTheSystemClosedAndNeverClosesTwice) {
    Closed closed;
    UniqueNumber held(7, {&closed});
    EXPECT_TRUE(held.close());
    EXPECT_TRUE(held.close());  // nothing left to close
    closed.refuse = true;
    held.reset(8);
    EXPECT_FALSE(held.close());
    EXPECT_FALSE(held);
    EXPECT_EQ(closed.numbers, (std::vector<int>{7, 8}));
}

TEST(Win32Handles, AHandleClosedOnTheWayOutLeavesTheLastErrorOfTheCallThatFailed) {
    Closed closed;
    for (const bool refuse : {false, true}) {
        closed.refuse = refuse;
        {
            const UniqueNumber held(9, {&closed});
            ::SetLastError(ERROR_FILE_NOT_FOUND);  // the failure that the caller is about to read
        }
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "refuse " << refuse;
        UniqueNumber reset(10, {&closed});
        ::SetLastError(ERROR_ACCESS_DENIED);
        reset.reset();
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "refuse " << refuse;
    }
    // close() is for the caller that reports the close's own failure: its error stays.
    closed.refuse = true;
    UniqueNumber reported(11, {&closed});
    EXPECT_FALSE(reported.close());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// A window of the program's, its timer, and the object selected into a device context: each is
// undone when its owner goes.
TEST(Win32Handles, AWindowItsTimerAndASelectedObjectAreUndoneWithTheirOwners) {
    HWND window = nullptr;
    {
        const win32::UniqueWindow owned(::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                                          ::GetModuleHandleA(nullptr), nullptr));
        window = owned.get();
        ASSERT_TRUE(::IsWindow(window));
        win32::WindowTimer timer;
        ASSERT_TRUE(timer.Start(window, 7, 10));
        EXPECT_TRUE(timer.Running());
        timer.Stop();
        EXPECT_FALSE(timer.Running());
        EXPECT_FALSE(::KillTimer(window, 7));  // already killed
        ASSERT_TRUE(timer.Start(window, 7, 10));
    }  // the timer is killed, then the window destroyed
    EXPECT_FALSE(::IsWindow(window));

    const win32::WindowDc screen(nullptr);
    const HGDIOBJ before = ::GetCurrentObject(screen.get(), OBJ_FONT);
    {
        const win32::SelectedObject selected(screen.get(), ::GetStockObject(ANSI_FIXED_FONT));
        EXPECT_EQ(::GetCurrentObject(screen.get(), OBJ_FONT), ::GetStockObject(ANSI_FIXED_FONT));
    }
    EXPECT_EQ(::GetCurrentObject(screen.get(), OBJ_FONT), before);
}

TEST(Win32Handles, NoHandleIsWhatTheOpeningFunctionAnswersOnFailure) {
    const win32::UniqueFileHandle file(::CreateFileA("C:\\orv-no-such-folder\\file.txt", GENERIC_READ, 0, nullptr,
                                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(file);
    WIN32_FIND_DATAA found{};
    const win32::UniqueFindHandle search(::FindFirstFileA("C:\\orv-no-such-folder\\*", &found));
    EXPECT_FALSE(search);
    const win32::UniqueHandle event(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    EXPECT_TRUE(event);
}

TEST(Win32Handles, AKernelHandleIsClosedWithItsOwner) {
    HANDLE event = nullptr;
    DWORD flags = 0;
    {
        const win32::UniqueHandle owned(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        event = owned.get();
        ASSERT_TRUE(::GetHandleInformation(event, &flags));
    }
    EXPECT_FALSE(::GetHandleInformation(event, &flags));
}

TEST(Win32Handles, TheLockIsHeldForTheGuardsLifetime) {
    SRWLOCK lock = SRWLOCK_INIT;
    {
        const win32::ExclusiveLock held(lock);
        EXPECT_FALSE(::TryAcquireSRWLockExclusive(&lock));
    }
    EXPECT_TRUE(::TryAcquireSRWLockExclusive(&lock));
    ::ReleaseSRWLockExclusive(&lock);
}

} // namespace
} // namespace orv
