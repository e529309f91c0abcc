// The application folder, the system folder, hidden processes and the clock on the real system.
#include <gtest/gtest.h>

#include <cmath>

#include "Win32Harness.h"
#include "win32/Win32Clock.h"
#include "win32/Win32Errors.h"
#include "win32/Win32Handles.h"
#include "win32/Win32Process.h"
#include "win32/Win32Shell.h"
#include "util/Array.h"

namespace orv {
namespace {

TEST(Win32Process, ApplicationFolderHasNoTrailingSeparatorExceptAtADriveRoot) {
    EXPECT_EQ(win32::FolderOfPath("C:\\Apps\\Orvastell\\Orvastell.exe"), "C:\\Apps\\Orvastell");
    EXPECT_EQ(win32::FolderOfPath("C:\\Orvastell.exe"), "C:\\");
    EXPECT_EQ(win32::FolderOfPath("\\\\server\\share\\Orvastell.exe"), "\\\\server\\share");

    win32::Win32Process process;
    win32::Win32FileSystem files;
    const std::string folder = process.ApplicationFolder();
    ASSERT_GT(folder.size(), 3u);
    EXPECT_NE(folder.back(), '\\');
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    EXPECT_EQ(folder + "\\" + std::string(path).substr(folder.size() + 1), path);
    EXPECT_TRUE(files.FileExists(path));
}

// A split token and its linked twin: one raised by elevation, with an administrator's rights, and
// one limited. Under Wine every program started the usual way has the raised one (and a program
// started with the linked one sees Limited); on Windows with the prompt on, a user's program has
// the limited one.
TEST(Win32Process, TheElevationOfTheProcessAndOfItsLinkedTokenIsReported) {
    using platform::TokenElevation;
    win32::UniqueHandle token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    const platform::Elevation own = win32::Win32Process().ProcessElevation();
    ASSERT_NE(own.type, TokenElevation::Default) << "no split token here";
    EXPECT_EQ(win32::ElevationOfToken(token.get()).type, own.type);
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token.get(), TokenLinkedToken, &linked, sizeof linked, &size));
    const win32::UniqueHandle linkedToken(linked.LinkedToken);
    const platform::Elevation twin = win32::ElevationOfToken(linkedToken.get());
    const platform::Elevation& full = own.type == TokenElevation::Full ? own : twin;
    const platform::Elevation& limited = own.type == TokenElevation::Full ? twin : own;
    EXPECT_EQ(full.type, TokenElevation::Full);
    EXPECT_TRUE(full.elevated);
    EXPECT_EQ(limited.type, TokenElevation::Limited);
    EXPECT_FALSE(limited.elevated);
    // A handle that is no token tells nothing: a Default token, not elevated.
    const platform::Elevation none = win32::ElevationOfToken(nullptr);
    EXPECT_EQ(none.type, TokenElevation::Default);
    EXPECT_FALSE(none.elevated);
}

TEST(Win32Shell, SystemDirectoryFillsTheBufferOnlyWhenItFits) {
    win32::Win32Shell shell;
    std::string buffer(260, '\0');
    const std::uint32_t length = shell.GetSystemDirectory(buffer);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, 260u);
    const std::string folder = buffer.substr(0, length);
    EXPECT_EQ(buffer[length], '\0');
    EXPECT_NE(folder.back(), '\\');
    const DWORD attributes = ::GetFileAttributesA(folder.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << folder;

    std::string small(4, '\0');
    EXPECT_GT(shell.GetSystemDirectory(small), 4u);
    EXPECT_EQ(small, std::string(4, '\0'));
}

TEST(Win32Shell, TheWow64SystemFolderIsApartFromTheNativeOneOnA64BitSystem) {
    win32::Win32Shell shell;
    std::string native(260, '\0'), wow64(260, '\0');
    const std::uint32_t nativeLength = shell.GetSystemDirectory(native);
    const std::uint32_t wow64Length = shell.GetSystemWow64Directory(wow64);
    ASSERT_GT(nativeLength, 0u);
#ifdef _WIN64
    ASSERT_GT(wow64Length, 0u);
    ASSERT_LT(wow64Length, 260u);
    const std::string folder = wow64.substr(0, wow64Length);
    EXPECT_EQ(ToLowerAscii(folder.substr(folder.size() - 9)), "\\syswow64");
    EXPECT_NE(ToLowerAscii(folder), ToLowerAscii(native.substr(0, nativeLength)));
    const DWORD attributes = ::GetFileAttributesA(folder.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << folder;
    std::string small(4, '\0');
    EXPECT_GT(shell.GetSystemWow64Directory(small), 4u);
    EXPECT_EQ(small, std::string(4, '\0'));
#else
    (void)wow64Length;  // 0 on 32-bit Windows, the folder on 64-bit Windows: both are right here
#endif
}

TEST(Win32Shell, StartProcessStartsTheProgramAtItsPathHiddenOrReportsAMissingOne) {
    win32::Win32Shell shell;
    std::string system(260, '\0');
    system.resize(shell.GetSystemDirectory(system));
    EXPECT_NE(shell.StartProcess(system + "\\cmd.exe", "cmd.exe /c exit 3", platform::kSwHide), 0u);
    try {
        shell.StartProcess(system + "\\orv-no-such-program.exe", "orv-no-such-program.exe /s x", platform::kSwHide);
        ADD_FAILURE() << "a missing program was started";
    } catch (const AgentError& e) {
        EXPECT_EQ(e.Number(), err::kFileNotFound);
        EXPECT_EQ(e.Description(), "File not found");
    }
}

TEST(Win32Shell, AFileTheShellCannotOpenIsToldWithTheSystemsMessage) {
    win32::Win32Shell shell;
    testing::ScratchFolder dir;
    testing::WriteBytes(dir / "front-end.orv-no-program", "x");
    const std::intptr_t result = shell.ShellExecute("open", dir / "front-end.orv-no-program", "", platform::kSwHide);
    EXPECT_LE(result, 32);
    EXPECT_FALSE(shell.ShellExecuteErrorText(result).empty()) << result;
    // The old SE_ERR_* answers are told with the message of the Windows error they stand for.
    const std::pair<std::intptr_t, DWORD> meanings[] = {
        {SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION}, {SE_ERR_ASSOCINCOMPLETE, ERROR_NO_ASSOCIATION},
        {SE_ERR_SHARE, ERROR_SHARING_VIOLATION}, {SE_ERR_FNF, ERROR_FILE_NOT_FOUND},
        {SE_ERR_ACCESSDENIED, ERROR_ACCESS_DENIED}, {0, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const auto& [answer, error] : meanings) {
        EXPECT_FALSE(win32::SystemErrorText(error).empty()) << error;
        EXPECT_EQ(shell.ShellExecuteErrorText(answer), win32::SystemErrorText(error)) << answer;
    }
}

TEST(Win32Clock, NowAndSecondsSinceMidnightAgree) {
    win32::Win32Clock clock;
    const float before = clock.SecondsSinceMidnight();
    const double now = clock.Now();
    clock.Sleep(20);
    const float after = clock.SecondsSinceMidnight();
    if (after < before) GTEST_SKIP() << "midnight passed during the test";
    const double fromDate = (now - std::floor(now)) * 86400.0;
    EXPECT_NEAR(fromDate, before, 1.5);
    EXPECT_GE(after - before, 0.015f);
    EXPECT_GT(now, 45000.0);  // after 2023
    EXPECT_NEAR(now * 86400.0, std::floor(now * 86400.0 + 0.5), 0.01) << "whole seconds";
}

} // namespace
} // namespace orv
