// Faults injected at every step of the agent's file work and of its download: each must end in
// one clear message, the old file intact, no temporary file left behind, and the run going on
// (or ending) where the design says.
#include <functional>
#include <optional>
#include <stdexcept>

#include "TestSupport.h"
#include "download/DownloadWindow.h"
#include "storage/Ini.h"
#include "util/Files.h"

namespace orv::test {
namespace {

using fakes::NormalizePath;

constexpr std::size_t kBlock = kCopyBlockSize;
const AgentError kDiskFull(61, "Disk full"), kDenied(70, "Permission denied"), kIoError(57, "Device I/O error"),
    kPastEnd(62, "Input past end of file");

// The share goes away without an error: reads come back short, as at the end of the file, while
// the length taken at the start promised more.
class VanishingShare : public platform::FileSystem {
public:
    VanishingShare(FakeFileSystem& inner, std::uint64_t cutAt) : inner_(inner), cutAt_(cutAt) {}
    bool FileExists(const std::string& path) override { return inner_.FileExists(path); }
    std::string FullPathName(const std::string& path) override { return inner_.FullPathName(path); }
    std::string WindowsFolder() override { return inner_.WindowsFolder(); }
    std::string ReadAllText(const std::string& path, std::uint64_t maxBytes) override {
        return inner_.ReadAllText(path, maxBytes);
    }
    std::unique_ptr<platform::File> OpenRead(const std::string& path) override {
        auto file = inner_.OpenRead(path);
        if (NormalizePath(path) != NormalizePath(kNewFile)) return file;
        return std::make_unique<CutFile>(std::move(file), cutAt_);
    }
    std::unique_ptr<platform::File> CreateNew(const std::string& path, platform::Durability durability) override {
        return inner_.CreateNew(path, durability);
    }
    void ReplaceFile(const std::string& from, const std::string& to) override { inner_.ReplaceFile(from, to); }
    void RemoveFile(const std::string& path) noexcept override { inner_.RemoveFile(path); }
    std::vector<platform::FoundFile> FindFiles(const std::string& folder, const std::string& prefix) override {
        return inner_.FindFiles(folder, prefix);
    }

private:
    struct CutFile : platform::File {
        CutFile(std::unique_ptr<platform::File> inner, std::uint64_t cutAt) : inner(std::move(inner)), cutAt(cutAt) {}
        std::uint64_t Length() override { return inner->Length(); }
        std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, cutAt - pos));
            const std::size_t got = n == 0 ? 0 : inner->Read(buffer, n);
            // A copy that takes the short read for a pause would loop for ever: fail it instead.
            if (got == 0 && ++emptyReads > 8) throw std::logic_error("the copy keeps reading past the end");
            pos += got;
            return got;
        }
        void Write(const std::uint8_t* data, std::size_t count) override { inner->Write(data, count); }
        void Close() override { inner->Close(); }
        std::unique_ptr<platform::File> inner;
        std::uint64_t cutAt, pos = 0;
        int emptyReads = 0;
    };
    FakeFileSystem& inner_;
    std::uint64_t cutAt_;
};

// A fault, where it strikes, and the error the user reads about it.
struct Fault {
    std::string name;
    std::function<void(FakeFileSystem&)> arrange;
    AgentError error;
    std::optional<std::uint64_t> shareEndsAt = {};  // the new file on the share ends early there
    bool onSource = false;                          // the fault is the source's (else the destination's)
};

// Runs `run` on the agent with the fault in place.
void WithFault(FakePlatform& p, const Fault& f, const std::function<void(AgentContext&)>& run) {
    if (f.arrange) f.arrange(p.files);
    if (!f.shareEndsAt) return run(p.ctx);
    VanishingShare share(p.files, *f.shareEndsAt);
    platform::Platform onShare = WithFiles(p, share);
    AgentContext ctx(onShare);
    run(ctx);
}

Fault CreateFails(const std::string& path) {
    return {"temporary file cannot be created",
            [path](FakeFileSystem& fs) { fs.failCreateBeside.insert(NormalizePath(path)); }, kDenied};
}
Fault DiskFullAfter(std::uint64_t at) {
    return {"disk full after " + std::to_string(at) + " bytes", [at](FakeFileSystem& fs) { fs.writeBudget = at; },
            kDiskFull};
}
const Fault kCloseFails{"close fails", [](FakeFileSystem& fs) { fs.failClose = true; }, kDiskFull};
Fault Locked(const std::string& path) {  // held open by another program
    return {"locked",
            [path](FakeFileSystem& fs) {
                fs.failCreate.insert(NormalizePath(path));
                fs.failReplace.insert(NormalizePath(path));
            },
            kDenied};
}

// The positions around every block boundary of a file of `size` bytes, and its last byte.
std::vector<std::uint64_t> BoundaryPositions(std::size_t size) {
    std::vector<std::uint64_t> positions{size - 1};
    for (std::size_t edge = 0; edge <= size; edge += kBlock)
        for (const std::size_t at : {edge - 1, edge, edge + 1})
            if (at < size) positions.push_back(at);  // edge - 1 wraps round for edge 0
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    return positions;
}

// Every step of a copy of the share's file of `size` bytes to `destination` that can fail: the
// temporary file, the disk filling up, the share failing or ending early at and around each
// block boundary, the close that flushes, and the final replacement.
std::vector<Fault> CopyFaults(std::size_t size, const std::string& destination) {
    std::vector<Fault> faults = {CreateFails(destination), kCloseFails, Locked(destination)};
    for (const std::uint64_t at : BoundaryPositions(size)) {
        faults.push_back(DiskFullAfter(at));
        faults.push_back({"share gone after " + std::to_string(at), [at](FakeFileSystem& fs) { fs.readBudget = at; },
                          kIoError, std::nullopt, true});
        faults.push_back({"share ends early after " + std::to_string(at), nullptr, kPastEnd, at, true});
    }
    return faults;
}

// ---------------------------------------------------------------- the copy

TEST(FaultInjection, ACopyThatFailsAtAnyStepLeavesTheOldFileAndNothingElse) {
    const std::size_t size = 3 * kBlock + 100;
    const std::string old = Pattern(kBlock + 7, 2);
    for (const bool hadDestination : {true, false}) {
        for (const Fault& f : CopyFaults(size, kFrontEnd)) {
            SCOPED_TRACE(f.name + (hadDestination ? ", over an old file" : ", no old file"));
            FakePlatform p;
            p.files.AddFile(kNewFile, Pattern(size));
            if (hadDestination) p.files.AddFile(kFrontEnd, old);
            WithFault(p, f, [](AgentContext& ctx) { EXPECT_FALSE(CopyFile(ctx, kNewFile, kFrontEnd)); });
            ExpectNoTemporaryFiles(p);
            ExpectLastBox(p, 1, CopyFailed(f.error.Description(), f.onSource ? kNewFile : kFrontEnd));
            ExpectFile(p, kFrontEnd, hadDestination ? std::optional(old) : std::nullopt);
            ExpectFile(p, kNewFile, Pattern(size));
        }
    }
    // Exactly enough room is enough: the sweep above stops one byte short of success.
    FakePlatform p;
    p.files.AddFile(kNewFile, Pattern(size));
    p.files.writeBudget = p.files.readBudget = size;
    EXPECT_TRUE(CopyFile(p.ctx, kNewFile, kFrontEnd));
    ExpectFile(p, kFrontEnd, Pattern(size));
}

// ---------------------------------------------------------------- the INI rewrite

TEST(FaultInjection, AnIniRewriteThatFailsAtAnyStepKeepsTheOldFile) {
    const std::string old = ConfigText("5") + "[Other]\r\nA=1", expected = ConfigText("6") + "[Other]\r\nA=1";
    std::vector<Fault> faults = {{"read-only", [](FakeFileSystem& fs) { fs.SetReadOnly(kConfig); }, kDenied},
                                 Locked(kConfig), CreateFails(kConfig), kCloseFails};
    for (std::uint64_t at = 0; at < expected.size(); ++at) faults.push_back(DiskFullAfter(at));
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
        FakePlatform p;
        p.files.AddFile(kConfig, old);
        f.arrange(p.files);
        try {
            WriteIniValue(p.ctx, "UpdateFrontend", "FileRevision", 6, kConfig);
            ADD_FAILURE() << "the failure was not passed on";
        } catch (const AgentError& e) {
            EXPECT_EQ(e.Number(), f.error.Number());
            EXPECT_EQ(e.Description(), f.error.Description());
        }
        ExpectFile(p, kConfig, old);
        EXPECT_TRUE(TemporaryFiles(p.files).empty());
    }
    FakePlatform p;  // with room for exactly the new text it goes through
    p.files.AddFile(kConfig, old);
    p.files.writeBudget = expected.size();
    WriteIniValue(p.ctx, "UpdateFrontend", "FileRevision", 6, kConfig);
    ExpectFile(p, kConfig, expected);
}

// ---------------------------------------------------------------- the update, through the whole run

constexpr std::size_t kNewFrontEndSize = 2 * kBlock + 300;
const std::string kAfterUpdate = ConfigText("2") + kStamp;

// Access 2003 in place, the product installed with an old front-end, and a newer one on the share.
void ArrangeUpdate(FakePlatform& p) {
    Install(p);
    OfferUpdate(p, "1", "2", Pattern(kNewFrontEndSize, 4));
}

// Runs the agent to its end, which for an "ok" Access version is the launch of the front-end, after the
// user has been told of the failure.
void RunToLaunch(FakePlatform& p, AgentContext& ctx) {
    EXPECT_THROW(RunMain(ctx), fakes::ProcessEnded);
    EXPECT_FALSE(p.windows.OpenWindows());
    ASSERT_EQ(p.shell.executed.size(), 1u);
    EXPECT_EQ(p.shell.executed[0].file, kFrontEnd);
    EXPECT_LT(JournalAt(p, "box Whoops!"), JournalAt(p, "shell open " + kFrontEnd));
}

TEST(FaultInjection, AFrontEndCopyThatFailsAtAnyStepStillOpensTheOldFrontEnd) {
    for (const Fault& f : CopyFaults(kNewFrontEndSize, kFrontEnd)) {
        SCOPED_TRACE(f.name);
        FakePlatform p;
        ArrangeUpdate(p);
        WithFault(p, f, [&p](AgentContext& ctx) { RunToLaunch(p, ctx); });
        ExpectNoTemporaryFiles(p);
        ExpectLastBox(p, 1, CopyFailed(f.error.Description(), f.onSource ? kNewFile : kFrontEnd));
        ExpectFile(p, kFrontEnd, "old front-end");
        ExpectFile(p, kConfig, ConfigText("1"));  // so the next run tries again
    }
}

TEST(FaultInjection, ARecordOfTheUpdateThatFailsAtAnyStepNeverLeavesAHalfWrittenConfiguration) {
    const std::string prefix = kProblem + "The front-end was updated, but its new revision could not be recorded in " +
                               kConfig + ".\r\n\r\n";
    std::vector<std::pair<Fault, std::string>> cases = {
        {{"read-only config.ini", [](FakeFileSystem& fs) { fs.SetReadOnly(kConfig); }, kDenied}, ConfigText("1")},
        {Locked(kConfig), ConfigText("1")},
        {CreateFails(kConfig), ConfigText("1")},
    };
    // The disk fills up at every byte of the rewrite, after the copy has gone through: the time
    // and the revision are recorded together or not at all.
    for (std::uint64_t at = 0; at < kAfterUpdate.size(); ++at)
        cases.push_back({DiskFullAfter(kNewFrontEndSize + at), ConfigText("1")});
    for (const auto& [fault, configAfter] : cases) {
        SCOPED_TRACE(fault.name);
        FakePlatform p;
        ArrangeUpdate(p);
        WithFault(p, fault, [&p](AgentContext& ctx) { RunToLaunch(p, ctx); });
        ExpectNoTemporaryFiles(p);
        ExpectLastBox(p, 1, prefix + fault.error.Description());
        ExpectFile(p, kFrontEnd, Pattern(kNewFrontEndSize, 4));  // the copy stays
        ExpectFile(p, kConfig, configAfter);
    }
}

TEST(FaultInjection, AReadOnlyConfigurationWithNothingNewerIsNeitherWrittenNorReported) {
    FakePlatform p;
    ArrangeUpdate(p);
    p.files.AddFile(kDescription, DescriptionText("1"));
    p.files.SetReadOnly(kConfig);
    EXPECT_THROW(RunMain(p.ctx), fakes::ProcessEnded);
    EXPECT_TRUE(p.messageBox.shown.empty());
    EXPECT_EQ(p.files.bytesWritten, 0u);
    EXPECT_EQ(p.shell.executed.size(), 1u);
}

// ---------------------------------------------------------------- the download

// A machine without Access whose user says Yes to the runtime download; Main returns once the
// download has started.
void StartRuntimeDownload(FakePlatform& p, std::size_t bodySize, bool earlierCabinet = true) {
    Install(p, nullptr);
    ServeRuntime(p, bodySize);
    if (earlierCabinet) p.files.AddFile(kCab, "earlier cabinet");
    p.messageBox.answers = {platform::kIdYes};
    EXPECT_TRUE(RunMain(p.ctx));
}

TEST(FaultInjection, ABodyCutAtAnyChunkIsNeverSaved) {
    for (const std::size_t cut : {0u, 1u, 255u, 256u, 257u, 512u, 2048u, 2999u}) {
        SCOPED_TRACE(cut);
        FakePlatform p;
        p.transfer.contentLength = 3000;
        StartRuntimeDownload(p, cut);
        Pump(p);
        ExpectNoTemporaryFiles(p);
        ExpectLastBox(p, 2, kProblem + "The file could not be downloaded from " + p.ctx.settings.DownloadURL +
                                ".\r\n\r\nThe connection to the server closed after " + std::to_string(cut) +
                                " of 3000 bytes.");
        ExpectFile(p, kCab, "earlier cabinet");
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
        p.transfer.busyPolls = 3;
        p.windows.onDoEvents = [&](int n) {
            if (TheDownloadWindow(p.ctx).Busy()) lastYieldInHandler = n;
        };
        StartRuntimeDownload(p, size);
        Pump(p);
        ASSERT_EQ(p.files.Content(kCab).size(), size);
        ASSERT_GT(lastYieldInHandler, 10);
    }
    for (int at = 1; at <= lastYieldInHandler + 1; ++at) {
        SCOPED_TRACE(at);
        FakePlatform p;
        p.transfer.busyPolls = 3;
        p.windows.onDoEvents = [&](int n) {
            if (n == at) p.transfer.failure = Failure(TransferFailure::Kind::Truncated);
        };
        StartRuntimeDownload(p, size);
        Pump(p);
        EXPECT_FALSE(p.windows.OpenWindows());
        if (at <= lastYieldInHandler) {
            ExpectNoTemporaryFiles(p);
            ExpectLastBox(p, 2, kProblem + "The file could not be downloaded from " + p.ctx.settings.DownloadURL +
                                    ".\r\n\r\nThe connection to the server was lost before the whole file had "
                                    "arrived.");
            ExpectFile(p, kCab, "earlier cabinet");
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
    std::vector<Fault> faults = {CreateFails(kCab), kCloseFails, Locked(kCab)};
    for (const std::uint64_t at : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{256}, std::uint64_t{size - 1}})
        faults.push_back(DiskFullAfter(at));
    for (const bool earlier : {true, false}) {
        for (const Fault& f : faults) {
            SCOPED_TRACE(f.name + (earlier ? ", earlier cabinet there" : ""));
            FakePlatform p;
            f.arrange(p.files);
            StartRuntimeDownload(p, size, earlier);
            EXPECT_THROW(Pump(p), fakes::ProcessEnded);
            ExpectNoTemporaryFiles(p);
            ExpectLastBox(p, 2,
                          "Run-time error '" + std::to_string(f.error.Number()) + "':\r\n\r\n" + f.error.Description(),
                          "Orvastell");
            ExpectFile(p, kCab, earlier ? std::optional<std::string>("earlier cabinet") : std::nullopt);
            EXPECT_TRUE(p.shell.executed.empty());
            EXPECT_EQ(p.journal.back(), "end");
        }
    }
}

} // namespace
} // namespace orv::test
