// Faults injected at every step of the agent's file work and of its download: each must end in
// one clear message, the old file intact, no temporary file left behind, and the run going on
// (or ending) where the design says.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "agent/Agent.h"
#include "download/Internet.h"
#include "download/frmDownloadFile.h"
#include "fakes/Fakes.h"
#include "storage/Ini.h"
#include "update/Update.h"
#include "util/Array.h"
#include "util/Files.h"

namespace orv {
namespace {

using fakes::FakeFileSystem;
using fakes::FakePlatform;
using fakes::NormalizePath;
using platform::TransferFailure;

constexpr std::size_t kBlock = kCopyBlockSize;
const std::string kFolder = "C:\\Apps\\Orvastell";
const std::string kConfig = kFolder + "\\config\\config.ini";
const std::string kShare = "\\\\server\\share";
const std::string kDescription = kShare + "\\update.ini";
const std::string kNewFile = kShare + "\\ORV.mde";
const std::string kFrontEnd = kFolder + "\\ORV.mde";
const std::string kCab = kFolder + "\\runtime\\ACCESSRT.CAB";
const std::string kCopyFailed = "A problem has occured:\r\nThe file was not copied successfully.\r\n\r\n";

std::string Pattern(std::size_t size, unsigned seed) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + seed) % 251);
    return data;
}

std::vector<std::string> TemporaryFiles(const FakeFileSystem& files) {
    std::vector<std::string> found;
    for (const auto& name : files.AllFiles()) {
        const std::string lower = ToLowerAscii(name);
        if (lower.size() >= 7 && lower.compare(lower.size() - 7, 7, ".orvtmp") == 0) found.push_back(name);
    }
    return found;
}

// The positions around every block boundary of a file of `size` bytes, and its last byte.
std::vector<std::uint64_t> BoundaryPositions(std::size_t size) {
    std::vector<std::uint64_t> positions;
    for (std::size_t edge = 0; edge <= size; edge += kBlock) {
        if (edge > 0) positions.push_back(edge - 1);
        positions.push_back(edge);
        positions.push_back(edge + 1);
    }
    positions.push_back(size - 1);
    positions.erase(std::remove_if(positions.begin(), positions.end(), [size](std::uint64_t at) { return at >= size; }),
                    positions.end());
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    return positions;
}

// A fault and where it strikes, for the sweeps below.
struct Fault {
    std::string name;
    std::function<void(FakeFileSystem&)> arrange;
    std::string description;  // the platform's words for it, as the user reads them
};

// Every step of a copy to `destination` of a source of `size` bytes that can fail: creating the
// temporary file, the disk filling up at and around each block boundary, the share going away
// at the same places, the close that flushes, and the final replacement.
std::vector<Fault> CopyFaults(std::size_t size, const std::string& destination, std::uint64_t writtenBefore = 0) {
    std::vector<Fault> faults;
    faults.push_back({"temporary file cannot be created",
                      [destination](FakeFileSystem& fs) { fs.failCreate.insert(NormalizePath(TemporaryPathFor(destination))); },
                      "Permission denied"});
    for (const std::uint64_t at : BoundaryPositions(size)) {
        faults.push_back({"disk full after " + std::to_string(at) + " bytes",
                          [at, writtenBefore](FakeFileSystem& fs) { fs.writeBudget = writtenBefore + at; }, "Disk full"});
        faults.push_back({"share gone after " + std::to_string(at) + " bytes",
                          [at](FakeFileSystem& fs) { fs.readBudget = at; }, "Device I/O error"});
    }
    faults.push_back({"close fails", [](FakeFileSystem& fs) { fs.failClose = true; }, "Disk full"});
    // Held open by another program: it can be neither opened for writing nor replaced.
    faults.push_back({"destination locked",
                      [destination](FakeFileSystem& fs) {
                          fs.failCreate.insert(NormalizePath(destination));
                          fs.failReplace.insert(NormalizePath(destination));
                      },
                      "Permission denied"});
    return faults;
}

// ---------------------------------------------------------------- the copy

TEST(FaultInjection, ACopyThatFailsAtAnyStepLeavesTheOldFileAndNothingElse) {
    const std::size_t size = 3 * kBlock + 100;
    const std::string source = Pattern(size, 1), old = Pattern(kBlock + 7, 2);
    for (const bool hadDestination : {true, false}) {
        for (const Fault& f : CopyFaults(size, kFrontEnd)) {
            SCOPED_TRACE(f.name + (hadDestination ? ", over an old file" : ", no old file"));
            FakePlatform p;
            p.files.AddFile(kNewFile, source);
            if (hadDestination) p.files.AddFile(kFrontEnd, old);
            f.arrange(p.files);
            EXPECT_FALSE(CopyFile(p.ctx, kNewFile, kFrontEnd));
            ASSERT_EQ(p.messageBox.shown.size(), 1u);
            EXPECT_EQ(p.messageBox.shown[0].text, kCopyFailed + f.description);
            if (hadDestination) EXPECT_EQ(p.files.Content(kFrontEnd), old);
            else EXPECT_FALSE(p.files.HasFile(kFrontEnd));
            EXPECT_EQ(p.files.Content(kNewFile), source);
            EXPECT_TRUE(TemporaryFiles(p.files).empty());
        }
    }
    // Exactly enough room is enough: the sweep above stops one byte short of success.
    FakePlatform p;
    p.files.AddFile(kNewFile, source);
    p.files.writeBudget = size;
    p.files.readBudget = size;
    EXPECT_TRUE(CopyFile(p.ctx, kNewFile, kFrontEnd));
    EXPECT_EQ(p.files.Content(kFrontEnd), source);
}

// The share goes away without an error: reads come back short, as at the end of the file, while
// the length taken at the start promised more.
class VanishingShare : public platform::FileSystem {
public:
    VanishingShare(FakeFileSystem& inner, std::string source, std::uint64_t cutAt)
        : inner_(inner), source_(NormalizePath(source)), cutAt_(cutAt) {}

    bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
    std::string WindowsFolder() override { return inner_.WindowsFolder(); }
    std::string ReadAllText(const std::string& path) override { return inner_.ReadAllText(path); }
    std::unique_ptr<platform::File> OpenRead(const std::string& path) override {
        auto file = inner_.OpenRead(path);
        if (NormalizePath(path) != source_) return file;
        return std::make_unique<CutFile>(std::move(file), cutAt_);
    }
    std::unique_ptr<platform::File> CreateWrite(const std::string& path) override { return inner_.CreateWrite(path); }
    void ReplaceFile(const std::string& from, const std::string& to) override { inner_.ReplaceFile(from, to); }
    void RemoveFile(const std::string& path) noexcept override { inner_.RemoveFile(path); }

private:
    struct CutFile : platform::File {
        CutFile(std::unique_ptr<platform::File> inner, std::uint64_t cutAt) : inner(std::move(inner)), cutAt(cutAt) {}
        std::uint64_t Length() override { return inner->Length(); }
        std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, cutAt - pos));
            const std::size_t got = n == 0 ? 0 : inner->Read(buffer, n);
            pos += got;
            return got;
        }
        void Write(const std::uint8_t* data, std::size_t count) override { inner->Write(data, count); }
        void Close() override { inner->Close(); }
        std::unique_ptr<platform::File> inner;
        std::uint64_t cutAt, pos = 0;
    };
    FakeFileSystem& inner_;
    std::string source_;
    std::uint64_t cutAt_;
};

TEST(FaultInjection, ASourceThatEndsEarlyAtAnyPointIsNoCopy) {
    const std::size_t size = 2 * kBlock + 1;
    for (const std::uint64_t cut : BoundaryPositions(size)) {
        SCOPED_TRACE(cut);
        FakePlatform p;
        p.files.AddFile(kNewFile, Pattern(size, 3));
        p.files.AddFile(kFrontEnd, "old front-end");
        VanishingShare share(p.files, kNewFile, cut);
        platform::Platform onShare{p.registry, p.profile, p.shell, p.messageBox, p.windows,
                                   p.transfer, share,     p.clock, p.locale,     p.process};
        AgentContext ctx(onShare);
        EXPECT_FALSE(CopyFile(ctx, kNewFile, kFrontEnd));
        ASSERT_EQ(p.messageBox.shown.size(), 1u);
        EXPECT_EQ(p.messageBox.shown[0].text, kCopyFailed + "Input past end of file");
        EXPECT_EQ(p.files.Content(kFrontEnd), "old front-end");
        EXPECT_TRUE(TemporaryFiles(p.files).empty());
    }
}

// ---------------------------------------------------------------- the INI rewrite

TEST(FaultInjection, AnIniRewriteThatFailsAtAnyStepKeepsTheOldFile) {
    const std::string old = "[UpdateFrontend]\r\nUpdateLocation=" + kDescription + "\r\nFileRevision=5\r\n[Other]\r\nA=1";
    const std::string expected =
        "[UpdateFrontend]\r\nUpdateLocation=" + kDescription + "\r\nFileRevision=6\r\n[Other]\r\nA=1";
    std::vector<Fault> faults;
    for (std::uint64_t at = 0; at < expected.size(); ++at)
        faults.push_back({"disk full after " + std::to_string(at) + " bytes",
                          [at](FakeFileSystem& fs) { fs.writeBudget = at; }, "Disk full"});
    faults.push_back({"read-only file", [](FakeFileSystem& fs) { fs.SetReadOnly(kConfig); }, "Permission denied"});
    faults.push_back({"file locked", [](FakeFileSystem& fs) { fs.failReplace.insert(NormalizePath(kConfig)); },
                      "Permission denied"});
    faults.push_back({"folder not writable",
                      [](FakeFileSystem& fs) { fs.failCreate.insert(NormalizePath(TemporaryPathFor(kConfig))); },
                      "Permission denied"});
    faults.push_back({"close fails", [](FakeFileSystem& fs) { fs.failClose = true; }, "Disk full"});
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
        FakePlatform p;
        p.files.AddFile(kConfig, old);
        f.arrange(p.files);
        try {
            WriteIniValue(p.ctx, "UpdateFrontend", "FileRevision", 6, kConfig);
            ADD_FAILURE() << "the failure was not passed on";
        } catch (const AgentError& e) {
            EXPECT_EQ(e.Description(), f.description);
        }
        EXPECT_EQ(p.files.Content(kConfig), old);
        EXPECT_TRUE(TemporaryFiles(p.files).empty());
        EXPECT_EQ(ReadIniValue(p.ctx, "UpdateFrontend", "FileRevision", "", kConfig), Variant("5"));
    }
    FakePlatform p;  // with room for exactly the new text it goes through
    p.files.AddFile(kConfig, old);
    p.files.writeBudget = expected.size();
    WriteIniValue(p.ctx, "UpdateFrontend", "FileRevision", 6, kConfig);
    EXPECT_EQ(p.files.Content(kConfig), expected);
}

// ---------------------------------------------------------------- the update, through the whole run

const std::string kConfigText =
    "[UpdateFrontend]\r\nUpdateLocation=" + kDescription + "\r\nFileRevision=1\r\n";
const std::string kAfterFirstRewrite = kConfigText + "\r\nFileLastUpdate=12/9/2025 12:00:00 PM";
const std::string kAfterUpdate = "[UpdateFrontend]\r\nUpdateLocation=" + kDescription +
                                 "\r\nFileRevision=2\r\n\r\nFileLastUpdate=12/9/2025 12:00:00 PM";
constexpr std::size_t kNewFrontEndSize = 2 * kBlock + 300;

// Access 2003 in place, the product installed in C:\Apps\Orvastell with an old front-end, and a
// newer one on the update share.
void ArrangeUpdate(FakePlatform& p) {
    p.registry.SetString(platform::kHkeyClassesRoot, "Access.Database\\CurVer", "", "Access.Database.11");
    p.registry.SetString(platform::kHkeyLocalMachine, "Software\\Quenlark\\Orvastell", "", kFolder);
    p.files.AddFile(p.shell.systemDirectory + "\\MSINET.OCX", "control");
    p.files.AddFile(kConfig, kConfigText);
    p.files.AddFile(kDescription, "[UpdateFrontend]\r\nFileRevision=2\r\nFileLocation=" + kNewFile + "\r\n");
    p.files.AddFile(kNewFile, Pattern(kNewFrontEndSize, 4));
    p.files.AddFile(kFrontEnd, "old front-end");
}

// Runs the agent to its end, which on the "ok" road is the launch of the front-end.
void RunToLaunch(FakePlatform& p, platform::Platform* platform = nullptr) {
    AgentContext other(platform ? *platform : p.platform);
    AgentContext& ctx = platform ? other : p.ctx;
    EXPECT_THROW(RunMain(ctx), fakes::ProcessEnded);
    EXPECT_FALSE(p.windows.OpenWindows());
    ASSERT_EQ(p.shell.executed.size(), 1u);
    EXPECT_EQ(p.shell.executed[0].verb, "open");
    EXPECT_EQ(p.shell.executed[0].file, kFrontEnd);
    // The user was told before the front-end came up.
    const auto box = std::find(p.journal.begin(), p.journal.end(), "box Whoops!");
    const auto open = std::find(p.journal.begin(), p.journal.end(), "shell open " + kFrontEnd);
    EXPECT_LT(box, open);
}

TEST(FaultInjection, AFrontEndCopyThatFailsAtAnyStepStillOpensTheOldFrontEnd) {
    for (const Fault& f : CopyFaults(kNewFrontEndSize, kFrontEnd)) {
        SCOPED_TRACE(f.name);
        FakePlatform p;
        ArrangeUpdate(p);
        f.arrange(p.files);
        RunToLaunch(p);
        ASSERT_EQ(p.messageBox.shown.size(), 1u);
        EXPECT_EQ(p.messageBox.shown[0].text, kCopyFailed + f.description);
        EXPECT_EQ(p.files.Content(kFrontEnd), "old front-end");
        EXPECT_EQ(p.files.Content(kConfig), kConfigText);  // so the next run tries again
        EXPECT_TRUE(TemporaryFiles(p.files).empty());
    }
    for (const std::uint64_t cut : {std::uint64_t{0}, std::uint64_t{kBlock}, std::uint64_t{kNewFrontEndSize - 1}}) {
        SCOPED_TRACE("share ends early after " + std::to_string(cut) + " bytes");
        FakePlatform p;
        ArrangeUpdate(p);
        VanishingShare share(p.files, kNewFile, cut);
        platform::Platform onShare{p.registry, p.profile, p.shell, p.messageBox, p.windows,
                                   p.transfer, share,     p.clock, p.locale,     p.process};
        RunToLaunch(p, &onShare);
        ASSERT_EQ(p.messageBox.shown.size(), 1u);
        EXPECT_EQ(p.messageBox.shown[0].text, kCopyFailed + "Input past end of file");
        EXPECT_EQ(p.files.Content(kFrontEnd), "old front-end");
        EXPECT_EQ(p.files.Content(kConfig), kConfigText);
        EXPECT_TRUE(TemporaryFiles(p.files).empty());
    }
}

TEST(FaultInjection, ARecordOfTheUpdateThatFailsAtAnyStepNeverLeavesAHalfWrittenConfiguration) {
    const std::string prefix = "A problem has occured:\r\nThe front-end was updated, but its new revision could not "
                               "be recorded in " + kConfig + ".\r\n\r\n";
    struct Case {
        Fault fault;
        std::string configAfter;
    };
    std::vector<Case> cases;
    // The disk fills up at every byte of the two rewrites, after the copy has gone through.
    for (std::uint64_t at = 0; at < kAfterFirstRewrite.size() + kAfterUpdate.size(); ++at) {
        const bool first = at < kAfterFirstRewrite.size();
        cases.push_back({{"disk full " + std::to_string(at) + " bytes into the rewrites",
                          [at](FakeFileSystem& fs) { fs.writeBudget = kNewFrontEndSize + at; }, "Disk full"},
                         first ? kConfigText : kAfterFirstRewrite});
    }
    cases.push_back({{"read-only config.ini", [](FakeFileSystem& fs) { fs.SetReadOnly(kConfig); }, "Permission denied"},
                     kConfigText});
    cases.push_back({{"config.ini locked", [](FakeFileSystem& fs) { fs.failReplace.insert(NormalizePath(kConfig)); },
                      "Permission denied"},
                     kConfigText});
    cases.push_back({{"config folder not writable",
                      [](FakeFileSystem& fs) { fs.failCreate.insert(NormalizePath(TemporaryPathFor(kConfig))); },
                      "Permission denied"},
                     kConfigText});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault.name);
        FakePlatform p;
        ArrangeUpdate(p);
        c.fault.arrange(p.files);
        RunToLaunch(p);
        ASSERT_EQ(p.messageBox.shown.size(), 1u);
        EXPECT_EQ(p.messageBox.shown[0].text, prefix + c.fault.description);
        EXPECT_EQ(p.files.Content(kFrontEnd), Pattern(kNewFrontEndSize, 4));  // the copy stays
        EXPECT_EQ(p.files.Content(kConfig), c.configAfter);
        EXPECT_TRUE(TemporaryFiles(p.files).empty());
    }
}

TEST(FaultInjection, AReadOnlyConfigurationWithNothingNewerIsNeitherWrittenNorReported) {
    FakePlatform p;
    ArrangeUpdate(p);
    p.files.AddFile(kDescription, "[UpdateFrontend]\r\nFileRevision=1\r\nFileLocation=" + kNewFile + "\r\n");
    p.files.SetReadOnly(kConfig);
    EXPECT_THROW(RunMain(p.ctx), fakes::ProcessEnded);
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_EQ(p.files.bytesWritten, 0u);
    ASSERT_EQ(p.shell.executed.size(), 1u);
    EXPECT_EQ(p.files.Content(kFrontEnd), "old front-end");
}

// ---------------------------------------------------------------- the download

// A machine without Access whose user says Yes to the runtime download.
void ArrangeDownload(FakePlatform& p, std::size_t bodySize) {
    p.files.AddFile(p.shell.systemDirectory + "\\MSINET.OCX", "control");
    p.files.AddFile(kFolder + "\\runtime\\ACCESSRT.MSI", "package");
    p.messageBox.answers = {platform::kIdYes};
    std::vector<std::uint8_t> body(bodySize);
    for (std::size_t i = 0; i < bodySize; ++i) body[i] = static_cast<std::uint8_t>(i * 7 % 251);
    p.transfer.body = body;
}

void Pump(FakePlatform& p) {
    for (int i = 0; i < 200 && !p.windows.queue.empty(); ++i) p.windows.DoEvents();
}

TransferFailure Failure(TransferFailure::Kind kind, std::string text = {}) {
    TransferFailure f;
    f.kind = kind;
    f.text = std::move(text);
    return f;
}

TEST(FaultInjection, EveryTransferFaultEndsTheRunAfterOneMessageWithNothingSaved) {
    using Kind = TransferFailure::Kind;
    struct Case {
        std::string name;
        std::function<void(FakePlatform&)> arrange;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"error state",
         [](FakePlatform& p) {
             p.transfer.statesOnExecute = {platform::icConnecting, platform::icError};
             p.transfer.failure = Failure(Kind::Other, "The connection was reset.");
         },
         "The connection was reset."},
        {"404", [](FakePlatform& p) { p.transfer.responseCode = 404; }, "The server answered 404 Not Found."},
        {"500", [](FakePlatform& p) { p.transfer.responseCode = 500; }, "The server answered 500 Internal Server Error."},
        {"cut-short body", [](FakePlatform& p) { p.transfer.contentLength = 5000; },
         "The connection was closed before the whole file had arrived (3000 of 5000 bytes)."},
        {"connection failure",
         [](FakePlatform& p) {
             p.transfer.statesOnExecute = {platform::icHostResolvingHost, platform::icDisconnected};
             p.transfer.failure = Failure(Kind::Connection);
         },
         "The server could not be reached. Please check your Internet connection and try again."},
        {"time-out", [](FakePlatform& p) { p.transfer.failure = Failure(Kind::Timeout); },
         "The server did not answer within 60 seconds. Please try again later."},
    };
    for (const bool earlier : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + (earlier ? ", earlier cabinet there" : ""));
            FakePlatform p;
            ArrangeDownload(p, 3000);
            if (earlier) p.files.AddFile(kCab, "earlier cabinet");
            c.arrange(p);
            EXPECT_TRUE(RunMain(p.ctx));  // Main returns once the download has started
            Pump(p);
            ASSERT_EQ(p.messageBox.shown.size(), 2u);  // the question, then the failure
            EXPECT_EQ(p.messageBox.shown[1].text, "A problem has occured:\r\nThe file could not be downloaded from " +
                                                      p.ctx.settings.DownloadURL + ".\r\n\r\n" + c.reason);
            if (earlier) EXPECT_EQ(p.files.Content(kCab), "earlier cabinet");
            else EXPECT_FALSE(p.files.HasFile(kCab));
            EXPECT_TRUE(TemporaryFiles(p.files).empty());
            // The run ends: no window is left, nothing is installed or launched.
            EXPECT_FALSE(p.windows.OpenWindows());
            EXPECT_TRUE(p.windows.queue.empty());
            EXPECT_TRUE(p.shell.executed.empty());
            EXPECT_FALSE(p.process.ended);
        }
    }
}

TEST(FaultInjection, ABodyCutAtAnyChunkIsNeverSaved) {
    const std::size_t full = 3000;
    for (const std::size_t cut : {0u, 1u, 255u, 256u, 257u, 512u, 2048u, 2999u}) {
        SCOPED_TRACE(cut);
        FakePlatform p;
        ArrangeDownload(p, cut);
        p.files.AddFile(kCab, "earlier cabinet");
        p.transfer.contentLength = static_cast<std::int64_t>(full);
        EXPECT_TRUE(RunMain(p.ctx));
        Pump(p);
        ASSERT_EQ(p.messageBox.shown.size(), 2u);
        EXPECT_NE(p.messageBox.shown[1].text.find("(" + std::to_string(cut) + " of 3000 bytes)"), std::string::npos);
        EXPECT_EQ(p.files.Content(kCab), "earlier cabinet");
        EXPECT_TRUE(TemporaryFiles(p.files).empty());
        EXPECT_TRUE(p.shell.executed.empty());
        EXPECT_FALSE(p.windows.OpenWindows());
    }
}

TEST(FaultInjection, AFailureAtAnyYieldOfTheTransferSavesNothing) {
    const std::size_t size = 10 * 256 + 17;
    // Which yields happen inside the transfer's handler, from a run without a fault.
    int lastYieldInHandler = 0;
    {
        FakePlatform p;
        ArrangeDownload(p, size);
        p.transfer.busyPolls = 3;
        p.windows.onDoEvents = [&](int n) {
            if (p.ctx.DownloadWindow().Busy()) lastYieldInHandler = n;
        };
        EXPECT_TRUE(RunMain(p.ctx));
        Pump(p);
        ASSERT_EQ(p.files.Content(kCab).size(), size);
        ASSERT_GT(lastYieldInHandler, 10);
    }
    for (int at = 1; at <= lastYieldInHandler + 1; ++at) {
        SCOPED_TRACE(at);
        FakePlatform p;
        ArrangeDownload(p, size);
        p.transfer.busyPolls = 3;
        p.files.AddFile(kCab, "earlier cabinet");
        p.windows.onDoEvents = [&](int n) {
            if (n == at) p.transfer.failure = Failure(TransferFailure::Kind::Truncated);
        };
        EXPECT_TRUE(RunMain(p.ctx));
        Pump(p);
        EXPECT_TRUE(TemporaryFiles(p.files).empty());
        EXPECT_FALSE(p.windows.OpenWindows());
        if (at <= lastYieldInHandler) {
            ASSERT_EQ(p.messageBox.shown.size(), 2u);
            EXPECT_NE(p.messageBox.shown[1].text.find("before the whole file had arrived"), std::string::npos);
            EXPECT_EQ(p.files.Content(kCab), "earlier cabinet");
            EXPECT_TRUE(p.shell.executed.empty());
        } else {
            // A fault after the last read comes too late to matter: the file is complete.
            EXPECT_EQ(p.messageBox.shown.size(), 1u);
            EXPECT_EQ(p.files.Content(kCab).size(), size);
        }
    }
}

TEST(FaultInjection, ACabinetSaveThatFailsAtAnyStepEndsTheRunAndKeepsTheEarlierCabinet) {
    const std::size_t size = 3000;
    std::vector<Fault> faults = {
        {"temporary file cannot be created",
         [](FakeFileSystem& fs) { fs.failCreate.insert(NormalizePath(TemporaryPathFor(kCab))); }, "Permission denied"},
        {"close fails", [](FakeFileSystem& fs) { fs.failClose = true; }, "Disk full"},
        {"cabinet locked", [](FakeFileSystem& fs) { fs.failReplace.insert(NormalizePath(kCab)); }, "Permission denied"},
    };
    for (const std::uint64_t at : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{256}, std::uint64_t{size - 1}})
        faults.push_back({"disk full after " + std::to_string(at) + " bytes",
                          [at](FakeFileSystem& fs) { fs.writeBudget = at; }, "Disk full"});
    const std::vector<std::pair<std::string, std::int32_t>> numbers = {{"Disk full", 61}, {"Permission denied", 70}};
    for (const bool earlier : {true, false}) {
        for (const Fault& f : faults) {
            SCOPED_TRACE(f.name + (earlier ? ", earlier cabinet there" : ""));
            FakePlatform p;
            ArrangeDownload(p, size);
            if (earlier) p.files.AddFile(kCab, "earlier cabinet");
            f.arrange(p.files);
            EXPECT_TRUE(RunMain(p.ctx));
            EXPECT_THROW(Pump(p), fakes::ProcessEnded);
            ASSERT_EQ(p.messageBox.shown.size(), 2u);
            const auto number = std::find_if(numbers.begin(), numbers.end(),
                                             [&](const auto& n) { return n.first == f.description; })->second;
            EXPECT_EQ(p.messageBox.shown[1].text,
                      "Run-time error '" + std::to_string(number) + "':\r\n\r\n" + f.description);
            if (earlier) EXPECT_EQ(p.files.Content(kCab), "earlier cabinet");
            else EXPECT_FALSE(p.files.HasFile(kCab));
            EXPECT_TRUE(TemporaryFiles(p.files).empty());
            EXPECT_TRUE(p.shell.executed.empty());
            EXPECT_TRUE(p.process.ended);
        }
    }
}

} // namespace
} // namespace orv
