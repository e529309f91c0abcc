// What the unit tests share: the machine they arrange (an installed agent, its configuration, the
// update share, the runtime download) and the checks every failure path must pass.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "agent/Agent.h"
#include "fakes/Fakes.h"
#include "util/Array.h"

namespace orv::test {

using fakes::FakeFileSystem;
using fakes::FakePlatform;
using platform::TransferFailure;

inline const std::string kFolder = "C:\\Apps\\Orvastell";
inline const std::string kConfig = kFolder + "\\config\\config.ini";
inline const std::string kFrontEnd = kFolder + "\\ORV.mde";
inline const std::string kDescription = "\\\\server\\share\\update.ini";
inline const std::string kNewFile = "\\\\server\\share\\ORV.mde";
inline const std::string kCab = kFolder + "\\runtime\\ACCESSRT.CAB";
inline const std::string kMsi = kFolder + "\\runtime\\ACCESSRT.MSI";
inline const std::string kCurVer = "Access.Database\\CurVer";
inline const std::string kInstallKey = "Software\\Quenlark\\Orvastell";
inline const std::string kProblem = "A problem has occured:\r\n";
// The box of a failed copy: why, and the file that failed.
inline std::string CopyFailed(const std::string& why, const std::string& file) {
    return kProblem + "The file was not copied successfully.\r\n\r\n" + why + ": " + file;
}
inline const std::string kStamp = "\r\nFileLastUpdate=12/9/2025 12:00:00 PM";  // the fake clock's time

// The name of the n-th temporary file a fake platform makes (the fake's process id and its
// sequence of random numbers).
inline std::string TemporaryOf(const std::string& target, unsigned n = 1) {
    char random[9];
    std::snprintf(random, sizeof random, "%08x", 0x5eed0000u + n);
    return target + ".4242-" + random + ".orvtmp";
}

// Bytes that differ at every position and from one seed to the next.
inline std::string Pattern(std::size_t size, unsigned seed = 1) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + seed) % 251);
    return data;
}
inline std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

inline std::string ConfigText(const std::string& installed, const std::string& location = kDescription) {
    return "[UpdateFrontend]\r\nUpdateLocation=" + location + "\r\nFileRevision=" + installed + "\r\n";
}
inline std::string DescriptionText(const std::string& offered, const std::string& fileLocation = kNewFile) {
    return "[UpdateFrontend]\r\nFileRevision=" + offered + "\r\nFileLocation=" + fileLocation + "\r\n";
}

// The product installed in C:\Apps\Orvastell with its front-end and the transfer control in
// place; `curVer` is Access's version key (nullptr: no Access).
inline void Install(FakePlatform& p, const char* curVer = "Access.Database.11", const std::string& folderValue = kFolder) {
    p.registry.SetString(platform::kHkeyLocalMachine, kInstallKey, "", folderValue);
    if (curVer) p.registry.SetString(platform::kHkeyClassesRoot, kCurVer, "", curVer);
    p.files.AddFile(p.shell.wow64Directory + "\\MSINET.OCX", "control");
    p.files.AddFile(kFrontEnd, "old front-end");
}

// config.ini naming the update share, whose description offers `newFile` as revision `offered`.
inline void OfferUpdate(FakePlatform& p, const std::string& installed, const std::string& offered,
                        const std::string& newFile = "new front-end") {
    p.files.AddFile(kConfig, ConfigText(installed));
    p.files.AddFile(kDescription, DescriptionText(offered));
    p.files.AddFile(kNewFile, newFile);
}

// The runtime folder with its installer package, and the body the server will send.
inline void ServeRuntime(FakePlatform& p, std::size_t bodySize) {
    p.files.AddFile(kMsi, "package");
    p.transfer.body = Bytes(Pattern(bodySize, 7));
}

// Dispatches window events until nothing is pending.
inline void Pump(FakePlatform& p) {
    for (int i = 0; i < 200 && !p.windows.queue.empty(); ++i) p.windows.DoEvents();
}

inline TransferFailure Failure(TransferFailure::Kind kind, std::uint32_t systemError = 0, std::int32_t status = 0) {
    TransferFailure f;
    f.kind = kind;
    f.systemError = systemError;
    f.httpStatus = status;
    return f;
}

// The same services with another file system in place of the fake one.
inline platform::Platform WithFiles(FakePlatform& p, platform::FileSystem& files) {
    return {p.registry, p.profile, p.shell,  p.messageBox, p.windows, p.transfer,
            files,      p.clock,   p.locale, p.process,    p.hash};
}

inline std::ptrdiff_t JournalAt(const FakePlatform& p, const std::string& entry) {
    const auto it = std::find(p.journal.begin(), p.journal.end(), entry);
    EXPECT_NE(it, p.journal.end()) << entry;
    return it - p.journal.begin();
}
inline long Journaled(const FakePlatform& p, const std::string& entry) {
    return static_cast<long>(std::count(p.journal.begin(), p.journal.end(), entry));
}

inline std::vector<std::string> TemporaryFiles(const FakeFileSystem& files) {
    std::vector<std::string> found;
    for (const auto& name : files.AllFiles()) {
        const std::string lower = ToLowerAscii(name);
        if (lower.size() >= 7 && lower.compare(lower.size() - 7, 7, ".orvtmp") == 0) found.push_back(name);
    }
    return found;
}

// No temporary file left anywhere: a failed or finished write has removed or renamed its own.
inline void ExpectNoTemporaryFiles(const FakePlatform& p) { EXPECT_TRUE(TemporaryFiles(p.files).empty()); }

// Exactly `count` boxes, the last one `title` with `text`.
inline void ExpectLastBox(const FakePlatform& p, std::size_t count, const std::string& text,
                          const std::string& title = "Whoops!") {
    ASSERT_EQ(p.messageBox.shown.size(), count);
    EXPECT_EQ(p.messageBox.shown.back().title, title);
    EXPECT_EQ(p.messageBox.shown.back().text, text);
}

// `path` holds `content`, or (for nullopt) does not exist.
inline void ExpectFile(const FakePlatform& p, const std::string& path, const std::optional<std::string>& content) {
    EXPECT_EQ(p.files.HasFile(path) ? std::optional<std::string>(p.files.Content(path)) : std::nullopt, content) << path;
}

// Every key opened was closed, once.
inline void ExpectKeysBalanced(const fakes::FakeRegistry& r) {
    EXPECT_EQ(r.opens, r.closes);
    EXPECT_EQ(r.badCloses, 0);
    EXPECT_TRUE(r.openKeys.empty());
}

} // namespace orv::test
