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
