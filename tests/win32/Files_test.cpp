// Files, copies and the atomic replacements on real files, and INI files read through the
// profile functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "Win32Harness.h"
#include "storage/RegistryEdit.h"
#include "util/Files.h"

namespace orv {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::SetReadOnly;
using testing::Win32Platform;
using testing::WriteBytes;

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return bytes;
}

std::int32_t ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const AgentError& e) {
        return e.Number();
    }
    return 0;
}

// The temporary files left in a folder.
int TemporaryFiles(const ScratchFolder& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((dir / "*.orvtmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do ++count;
    while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return count;
}

TEST(Win32Files, FileExistsOnlyForFiles) {
    Win32Platform p;
    ScratchFolder dir;
    WriteBytes(dir / "a.txt", "x");
    EXPECT_TRUE(p.files.FileExists(dir / "a.txt"));
    EXPECT_TRUE(p.files.FileExists(dir / "A.TXT"));
    EXPECT_FALSE(p.files.FileExists(dir.Path()));
    EXPECT_FALSE(p.files.FileExists(dir / "b.txt"));
    // Windows would look up "a.txt" for these; they name no file of their own.
    EXPECT_FALSE(p.files.FileExists(dir / "a.txt "));
    EXPECT_FALSE(p.files.FileExists(dir / "a.txt."));
    EXPECT_FALSE(p.files.FileExists(""));
    EXPECT_FALSE(FileExists(p.ctx, Variant::Null()));

    const std::string windows = p.files.WindowsFolder();
    ASSERT_FALSE(windows.empty());
    EXPECT_NE(windows.back(), '\\');
    EXPECT_NE(::GetFileAttributesA(windows.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST(Win32Files, CopyFileCopiesEveryByteOverALargerDestination) {
    Win32Platform p;
    ScratchFolder dir;
    for (std::size_t size : {std::size_t{0}, std::size_t{8192}, std::size_t{8193}, std::size_t{70000}}) {
        const std::string source = Pattern(size);
        WriteBytes(dir / "source.bin", source);
        WriteBytes(dir / "dest.bin", Pattern(size + 9000));
        EXPECT_TRUE(CopyFile(p.ctx, dir / "source.bin", dir / "dest.bin")) << size;
        EXPECT_EQ(ReadBytes(dir / "dest.bin"), source) << size;
            EXPECT_EQ(TemporaryFiles(dir), 0);
    }
    EXPECT_TRUE(p.messageBox.shown.empty());
}

// Sets a file's last write time `seconds` ago.
void AgeFile(const std::string& path, std::int64_t seconds) {
    HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{};
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= static_cast<std::uint64_t>(seconds) * 10'000'000;
    const FILETIME then{t.LowPart, t.HighPart};
    EXPECT_TRUE(::SetFileTime(file, nullptr, nullptr, &then));
    ::CloseHandle(file);
}

// A search finds the files that begin with the prefix, in either case, with the time since each
// was written; and the temporary file a killed run left beside a target goes with the next copy
// to it once it is old, but not while a program still holds it open.
TEST(Win32Files, StaleTemporaryFilesGoWithTheNextWriteUnlessTheyAreOpen) {
    Win32Platform p;
    ScratchFolder dir;
    WriteBytes(dir / "ORV.mde.77-0badf00d.orvtmp", "left by a killed run");
    WriteBytes(dir / "orv.mde.bak", "the user's");
    ASSERT_TRUE(::CreateDirectoryA((dir / "ORV.mde.dir").c_str(), nullptr));
    WriteBytes(dir / "other.txt", "x");
    AgeFile(dir / "ORV.mde.77-0badf00d.orvtmp", 1200);
    AgeFile(dir / "orv.mde.bak", 1200);
    std::vector<std::string> names;
    for (const platform::FoundFile& f : p.files.FindFiles(dir.Path(), "ORV.mde.")) {
        names.push_back(f.name);
        EXPECT_GE(f.ageSeconds, 1195) << f.name;
        EXPECT_LE(f.ageSeconds, 1300) << f.name;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ORV.mde.77-0badf00d.orvtmp", "orv.mde.bak"}));
    EXPECT_TRUE(p.files.FindFiles(dir / "missing", "ORV.mde.").empty());

    WriteBytes(dir / "new.mde", "new front-end");
    // Held open as the agent holds the file it writes: the next run's copy leaves it.
    HANDLE held = ::CreateFileA((dir / "ORV.mde.77-0badf00d.orvtmp").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CopyFile(p.ctx, dir / "new.mde", dir / "ORV.mde"));
    EXPECT_TRUE(p.files.FileExists(dir / "ORV.mde.77-0badf00d.orvtmp"));
    ::CloseHandle(held);
    AgeFile(dir / "ORV.mde.77-0badf00d.orvtmp", 1200);
    EXPECT_TRUE(CopyFile(p.ctx, dir / "new.mde", dir / "ORV.mde"));
    EXPECT_FALSE(p.files.FileExists(dir / "ORV.mde.77-0badf00d.orvtmp"));
    EXPECT_EQ(ReadBytes(dir / "orv.mde.bak"), "the user's");
    EXPECT_EQ(ReadBytes(dir / "ORV.mde"), "new front-end");
    EXPECT_EQ(TemporaryFiles(dir), 0);
    EXPECT_TRUE(p.messageBox.shown.empty());
}

TEST(Win32Files, ANewFileIsNeverMadeOverOneThatIsThere) {
    Win32Platform p;
    ScratchFolder dir;
    WriteBytes(dir / "there.bin", "planted");
    EXPECT_EQ(ErrorNumberOf([&] { p.files.CreateNew(dir / "there.bin", platform::Durability::Cached); }),
              err::kFileAlreadyExists);
    EXPECT_EQ(ReadBytes(dir / "there.bin"), "planted");
    // A copy beside a file planted under the old fixed temporary name leaves it alone.
    WriteBytes(dir / "dest.bin.orvtmp", "planted");
    WriteBytes(dir / "source.bin", "new");
    EXPECT_TRUE(CopyFile(p.ctx, dir / "source.bin", dir / "dest.bin"));
    EXPECT_EQ(ReadBytes(dir / "dest.bin"), "new");
    EXPECT_EQ(ReadBytes(dir / "dest.bin.orvtmp"), "planted");
    EXPECT_EQ(TemporaryFiles(dir), 1);
}

TEST(Win32Files, FailedCopiesReportTheCauseAndLeaveEverythingAsItWas) {
    Win32Platform p;
    ScratchFolder dir;
    WriteBytes(dir / "source.bin", "new contents");
    WriteBytes(dir / "locked.bin", "old contents");
    SetReadOnly(dir / "locked.bin", true);

    EXPECT_FALSE(CopyFile(p.ctx, dir / "source.bin", dir / "locked.bin"));
    EXPECT_FALSE(CopyFile(p.ctx, dir / "source.bin", dir / "no such folder\\dest.bin"));
    EXPECT_FALSE(CopyFile(p.ctx, dir / "missing.bin", dir / "dest.bin"));

    ASSERT_EQ(p.messageBox.shown.size(), 3u);
    const std::string lead = "A problem has occured:\r\nThe file was not copied successfully.\r\n\r\n";
    EXPECT_EQ(p.messageBox.shown[0].text, lead + "Permission denied: " + (dir / "locked.bin"));
    EXPECT_EQ(p.messageBox.shown[1].text, lead + "Path not found: " + (dir / "no such folder\\dest.bin"));
    EXPECT_EQ(p.messageBox.shown[2].text, lead + "File not found: " + (dir / "missing.bin"));
    EXPECT_EQ(p.messageBox.shown[0].title, "Whoops!");

    EXPECT_EQ(ReadBytes(dir / "locked.bin"), "old contents");
    EXPECT_FALSE(p.files.FileExists(dir / "dest.bin"));
    EXPECT_EQ(TemporaryFiles(dir), 0);
}

TEST(Win32Files, WriteFileReplacingSwapsInTheNewContentOrThrows) {
    Win32Platform p;
    ScratchFolder dir;
    WriteBytes(dir / "config.ini", "[a]\r\nk=1\r\n");
    const std::string text = "[a]\r\nk=2\r\n\xE9t\xE9\r\n";
    WriteFileReplacing(p.ctx, dir / "config.ini", reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    EXPECT_EQ(p.files.ReadAllText(dir / "config.ini", 1 << 20), text);  // bytes unchanged, CR LF kept

    SetReadOnly(dir / "config.ini", true);
    EXPECT_EQ(ErrorNumberOf([&] {
                  WriteFileReplacing(p.ctx, dir / "config.ini", reinterpret_cast<const std::uint8_t*>("x"), 1);
              }),
              err::kPermissionDenied);
    EXPECT_EQ(ReadBytes(dir / "config.ini"), text);
    EXPECT_EQ(TemporaryFiles(dir), 0);

    EXPECT_EQ(ErrorNumberOf([&] {
                  WriteFileReplacing(p.ctx, dir / "gone\\config.ini", reinterpret_cast<const std::uint8_t*>("x"), 1);
              }),
              err::kPathNotFound);
}

TEST(Win32Files, RawAccessAndItsErrors) {
    Win32Platform p;
    ScratchFolder dir;
    {
        auto out = p.files.CreateNew(dir / "raw.bin", platform::Durability::Flushed);
        const std::string data = Pattern(10000);
        out->Write(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
        out->Close();
        out->Close();  // a second close does nothing
    }
    auto in = p.files.OpenRead(dir / "raw.bin");
    EXPECT_EQ(in->Length(), 10000u);
    std::vector<std::uint8_t> buffer(8192);
    EXPECT_EQ(in->Read(buffer.data(), buffer.size()), 8192u);
    EXPECT_EQ(in->Read(buffer.data(), buffer.size()), 1808u);
    EXPECT_EQ(in->Read(buffer.data(), buffer.size()), 0u);
    in->Close();

    EXPECT_EQ(ErrorNumberOf([&] { p.files.OpenRead(dir / "missing.bin"); }), err::kFileNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { p.files.OpenRead(dir / "no\\missing.bin"); }), err::kPathNotFound);
    EXPECT_EQ(ErrorNumberOf([&] { p.files.OpenRead(dir.Path()); }), err::kPathFileAccess);
    EXPECT_EQ(ErrorNumberOf([&] { p.files.ReadAllText(dir / "missing.bin", 1 << 20); }), err::kFileNotFound);
    // A file beyond the bound is refused before it is read; one of the bound's length is read whole.
    EXPECT_EQ(ErrorNumberOf([&] { p.files.ReadAllText(dir / "raw.bin", 9999); }), err::kPathFileAccess);
    EXPECT_EQ(p.files.ReadAllText(dir / "raw.bin", 10000), Pattern(10000));
    EXPECT_EQ(ErrorNumberOf([&] { p.files.ReplaceFile(dir / "missing.bin", dir / "raw.bin"); }), err::kFileNotFound);
    EXPECT_TRUE(p.files.FileExists(dir / "raw.bin"));

    p.files.RemoveFile(dir / "raw.bin");
    p.files.RemoveFile(dir / "raw.bin");  // already gone: ignored
    EXPECT_FALSE(p.files.FileExists(dir / "raw.bin"));
}

TEST(Win32Profile, ReadSettingFromARealIniFile) {
    Win32Platform p;
    ScratchFolder dir;
    const std::string ini = dir / "settings.ini";
    WriteBytes(ini, "[Paths]\r\nInstall=C:\\Apps\\Orvastell\r\nLong=" + std::string(300, 'v') +
                        "\r\n[Numbers]\r\nCount=42\r\n");
    Variant value;
    EXPECT_EQ(ReadSetting(p.ctx, ini, "paths", "install", "S", Variant("none"), value), 0);
    EXPECT_EQ(value, Variant("C:\\Apps\\Orvastell"));
    EXPECT_EQ(ReadSetting(p.ctx, ini, "Paths", "Missing", "S", Variant("none"), value), 0);
    EXPECT_EQ(value, Variant("none"));
    EXPECT_EQ(ReadSetting(p.ctx, ini, "Paths", "Long", "S", Variant(), value), 0);
    EXPECT_EQ(value, Variant(std::string(254, 'v')));

    EXPECT_EQ(p.profile.GetPrivateProfileInt("Numbers", "Count", -1, ini), 42);
    EXPECT_EQ(p.profile.GetPrivateProfileInt("Numbers", "Absent", -1, ini), -1);
    EXPECT_EQ(p.profile.GetPrivateProfileString("Paths", "Install", "", 8, ini), "C:\\Apps");

    // Only a normal file counts as an INI source: not a folder, not a hidden file.
    ::SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(ReadSetting(p.ctx, ini, "Paths", "Install", "S", Variant("none"), value), 99);
    EXPECT_EQ(value, Variant("none"));
    EXPECT_EQ(ReadSetting(p.ctx, dir.Path(), "Paths", "Install", "S", Variant("none"), value), 99);
}

TEST(Win32Profile, FindNormalFileMatchesWildcardsAndSkipsFoldersHiddenAndSystemFiles) {
    Win32Platform p;
    ScratchFolder dir;
    ::CreateDirectoryA((dir / "folder.ini").c_str(), nullptr);
    WriteBytes(dir / "hidden.ini", "");
    ::SetFileAttributesA((dir / "hidden.ini").c_str(), FILE_ATTRIBUTE_HIDDEN);
    WriteBytes(dir / "system.ini", "");
    ::SetFileAttributesA((dir / "system.ini").c_str(), FILE_ATTRIBUTE_SYSTEM);
    EXPECT_FALSE(p.profile.FindNormalFile(dir / "*.ini"));
    EXPECT_FALSE(p.profile.FindNormalFile(dir / "folder.ini"));
    WriteBytes(dir / "plain.ini", "");
    SetReadOnly(dir / "plain.ini", true);  // read-only is still a normal file
    EXPECT_TRUE(p.profile.FindNormalFile(dir / "*.ini"));
    EXPECT_TRUE(p.profile.FindNormalFile(dir / "PLAIN.INI"));
    EXPECT_FALSE(p.profile.FindNormalFile(dir / "nowhere\\plain.ini"));
    EXPECT_FALSE(p.profile.FindNormalFile(""));
}

} // namespace
} // namespace orv
