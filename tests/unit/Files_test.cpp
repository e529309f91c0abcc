#include <cstring>
#include <memory>

#include "TestSupport.h"
#include "util/ByteBlocks.h"
#include "util/Files.h"

namespace orv::test {
namespace {

constexpr std::size_t kBlock = 8192;  // the copy's block size
const std::string kSource = "C:\\Updates\\ORV.mde";

TEST(Files, FileExistsIsTrueOnlyForFiles) {
    FakePlatform p;
    p.files.AddFile(kSource, "x");
    EXPECT_TRUE(FileExists(p.ctx, kSource));
    EXPECT_FALSE(FileExists(p.ctx, "C:\\Updates"));
    EXPECT_FALSE(FileExists(p.ctx, ""));
    EXPECT_FALSE(FileExists(p.ctx, Variant()));
    EXPECT_FALSE(FileExists(p.ctx, Variant::Null()));
}

TEST(Files, FileNamesAreTheTextAfterTheLastSeparator) {
    FakePlatform p;
    auto& c = p.ctx;
    EXPECT_EQ(GetFileNameFromPath(c, "C:\\Apps\\ORV.mde"), Variant("ORV.mde"));
    EXPECT_EQ(GetFileNameFromPath(c, "\\\\server\\share\\ORV.mde"), Variant("ORV.mde"));
    EXPECT_EQ(GetFileNameFromPath(c, "C:\\Apps\\"), Variant(""));
    EXPECT_EQ(GetFileNameFromPath(c, "ORV.mde"), Variant("ORV.mde"));
    EXPECT_EQ(GetFileNameFromPath(c, "C:\\~END\\x\\~END\\ORV.mde"), Variant("ORV.mde"));
    EXPECT_EQ(GetFileNameFromPath(c, "http://host/a.cab"), Variant("http://host/a.cab"));
    EXPECT_TRUE(GetFileNameFromPath(c, "").IsEmpty());
    EXPECT_TRUE(GetFileNameFromPath(c, Variant()).IsEmpty());
    EXPECT_EQ(GetFileNameFromUrl(c, "http://downloads.quenlark.com/downloads/runtime/ACCESSRT.CAB"),
              Variant("ACCESSRT.CAB"));
    EXPECT_EQ(GetFileNameFromUrl(c, "http://host/dir/"), Variant(""));
    EXPECT_EQ(GetFileNameFromUrl(c, "C:\\a\\b"), Variant("C:\\a\\b"));
    try {
        GetFileNameFromPath(c, Variant::Null());
        FAIL() << "null has no file name";
    } catch (const AgentError& e) {
        EXPECT_EQ(e.Number(), 94);
    }
}

TEST(Files, APlainFileNameCanNameNothingButAFileInItsFolder) {
    for (const char* plain : {"ORV.mde", "ORV_v2.mde", "orv", ".mde", "a b.mde", "CONSOLE.mde", "COM10", "LPT0.txt", "COM\xB4",
                              "NULL", "x..y", "\xE9t\xE9.mde"})
        EXPECT_TRUE(IsPlainFileName(plain)) << plain;
    for (const char* unsafe : {"", ".", "..", "d2/../../evil.txt", "a/b", "..\\x", "ORV.mde:stream", "C:", "ORV.mde.",
                               "ORV.mde ", "CON", "con", "NUL.txt", "nul.tar.gz", "Aux", "PRN.mde", "COM1", "com9.log",
                               "LPT1", "LPT9.x", "COM\xB9", "lpt\xB2.txt", "LPT\xB3", "CON .txt", "CONIN$", "conout$", "a*b", "a?b", "a<b", "a>b", "a|b",
                               "a\"b", "tab\there", "new\nline", "\x7F"})
        EXPECT_FALSE(IsPlainFileName(unsafe)) << unsafe;
}

TEST(Files, CopyMovesWholeBlocksThenTheRestAndLeavesExactlyTheSource) {
    struct Case {
        std::size_t size;
        std::vector<std::size_t> writes;
    };
    const Case cases[] = {
        {0, {}}, {kBlock - 1, {kBlock - 1}}, {kBlock, {kBlock}}, {kBlock + 1, {kBlock, 1}},
        {2 * kBlock + 1, {kBlock, kBlock, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        FakePlatform p;
        p.files.AddFile(kSource, Pattern(c.size));
        p.files.AddFile(kFrontEnd, Pattern(3 * kBlock, 7));  // a larger file is replaced, not overwritten
        EXPECT_TRUE(CopyFile(p.ctx, kSource, kFrontEnd));
        ExpectFile(p, kFrontEnd, Pattern(c.size));
        ExpectFile(p, kSource, Pattern(c.size));
        EXPECT_EQ(p.files.writeSizes, c.writes);
        EXPECT_EQ(p.files.AllFiles().size(), 2u);  // no temporary file left
        EXPECT_TRUE(p.messageBox.shown.empty());
    }
}

TEST(Files, TheTemporaryFileIsNewAndNamedSoThatNobodyCanPrepareIt) {
    FakePlatform p;
    p.files.AddFile(kSource, "new");
    p.files.AddFile(kFrontEnd, "old");
    // Planted beforehand: under the fixed name of old, and under the very name that the copy
    // would take first. Neither is written through or emptied; the copy takes another name.
    p.files.AddFile(kFrontEnd + ".orvtmp", "planted under the fixed name");
    p.files.AddFile(TemporaryOf(kFrontEnd, 1), "planted under the first name");
    EXPECT_TRUE(CopyFile(p.ctx, kSource, kFrontEnd));
    ExpectFile(p, kFrontEnd, "new");
    ExpectFile(p, kFrontEnd + ".orvtmp", "planted under the fixed name");
    ExpectFile(p, TemporaryOf(kFrontEnd, 1), "planted under the first name");
    EXPECT_EQ(Journaled(p, "create " + TemporaryOf(kFrontEnd, 2)), 1);
    // Two copies to the same target in turn: each leaves no temporary file of its own.
    p.files.AddFile(kSource, "newer");
    EXPECT_TRUE(CopyFile(p.ctx, kSource, kFrontEnd));
    ExpectFile(p, kFrontEnd, "newer");
    EXPECT_EQ(p.files.AllFiles().size(), 4u);
    EXPECT_TRUE(p.messageBox.shown.empty());
}

TEST(Files, BytesInBlocksComeOutAsTheyWentInWithAtMostOneBlockOfRoom) {
    constexpr std::size_t B = ByteBlocks::kBlockSize;
    // Pieces that end before, on and after block boundaries.
    for (const std::vector<std::size_t>& pieces :
         {std::vector<std::size_t>{1}, {B - 1, 1}, {B}, {B, 1}, {256, B - 256, B + 7, 3 * B}, {0, 5}}) {
        ByteBlocks blocks;
        std::string expected;
        unsigned seed = 1;
        for (const std::size_t n : pieces) {
            const std::string piece = Pattern(n, seed++);
            blocks.Append(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size());
            expected += piece;
        }
        EXPECT_EQ(blocks.Size(), expected.size());
        EXPECT_EQ(blocks.ToVector(), Bytes(expected));
        EXPECT_EQ(blocks.Capacity(), (expected.size() + B - 1) / B * B);
        blocks.Clear();
        EXPECT_TRUE(blocks.Empty());
        EXPECT_EQ(blocks.Capacity(), 0u);
    }
}

TEST(Files, BlocksTakenOverComeOutAsCountedInAndNeverLeaveAGap) {
    constexpr std::size_t B = ByteBlocks::kBlockSize;
    const std::string bytes = Pattern(2 * B + 300, 7);
    const auto blockOf = [&](std::size_t first) {
        auto block = std::make_unique<std::uint8_t[]>(B);
        const std::size_t n = std::min(B, bytes.size() - first);
        std::memcpy(block.get(), bytes.data() + first, n);
        return block;
    };
    ByteBlocks blocks;
    blocks.Adopt(blockOf(0));
    EXPECT_EQ(blocks.Size(), 0u);  // nothing counts until counted in
    for (std::size_t i = 0; i < B / 256; ++i) blocks.Grow(256);
    blocks.Adopt(blockOf(B));
    blocks.Grow(B);
    blocks.Adopt(blockOf(2 * B));
    blocks.Grow(300);
    EXPECT_EQ(blocks.ToVector(), Bytes(bytes));
    EXPECT_EQ(blocks.Capacity(), 3 * B);
    // Another block beside one not yet full, or more counted in than the last block holds, would
    // put bytes that never arrived into the body.
    EXPECT_THROW(blocks.Adopt(blockOf(0)), AgentError);
    EXPECT_THROW(blocks.Grow(B - 299), AgentError);
    blocks.Grow(B - 300);
    EXPECT_THROW(blocks.Grow(1), AgentError);
    EXPECT_EQ(blocks.Size(), 3 * B);
}

// Failures in the middle of a copy are swept in FaultInjection_test.cpp.
TEST(Files, AMissingSourceIsReportedOnceAndCreatesNothing) {
    FakePlatform p;
    p.files.AddFolder("C:\\Updates");
    const auto before = p.files.AllFiles();
    EXPECT_FALSE(CopyFile(p.ctx, kSource, kFrontEnd));
    EXPECT_EQ(p.files.AllFiles(), before);
    ExpectNoTemporaryFiles(p);
    ExpectLastBox(p, 1, CopyFailed("File not found", kSource));
}

// What a killed run left beside the file it was writing is removed by the next write of that file,
// once it has not been written for ten minutes; nothing else in the folder is touched, however
// much it looks like it.
TEST(Files, AWriteRemovesOnlyTheStaleTemporaryFilesOfItsOwnTarget) {
    const std::int64_t old = 3600;
    struct Case {
        const char* name;
        std::int64_t age;
        bool removed;
    };
    const Case cases[] = {
        {"ORV.mde.4242-0badf00d.orvtmp", old, true},
        {"orv.MDE.17-deadbeef.orvtmp", old, true},  // the target's name in another case
        {"ORV.mde.17-00000000.orvtmp", 600, true},
        {"ORV.mde.17-00000001.orvtmp", 599, false},  // still young: perhaps still being written
        {"ORV.mde.17-00000002.orvtmp", -30, false},  // written "in the future" (a clock put back)
        {"ORV.mde.orvtmp", old, false},
        {"ORV.mde.bak", old, false},
        {"ORV.mde.17-0BADF00D.orvtmp", old, false},
        {"ORV.mde.17-0badf00.orvtmp", old, false},
        {"ORV.mde.17-0badf00d1.orvtmp", old, false},
        {"ORV.mde.017-0badf00d.orvtmp", old, false},
        {"ORV.mde.-0badf00d.orvtmp", old, false},
        {"ORV.mde.1x-0badf00d.orvtmp", old, false},
        {"ORV.mde.12345678901-0badf00d.orvtmp", old, false},
        {"ORV.mde.17-0badf00d.orvtmp.txt", old, false},
        {"ORV.mde.17-0badf00d.ORVTMP", old, false},
        {"ORV.mde17-0badf00d.orvtmp", old, false},
        {"ORV.mdb.17-0badf00d.orvtmp", old, false},  // another file's
        {"sub\\ORV.mde.17-0badf00d.orvtmp", old, false},
    };
    for (const bool copy : {true, false}) {
        SCOPED_TRACE(copy ? "copy" : "rewrite");
        FakePlatform p;
        p.files.AddFile(kNewFile, "new front-end");
        for (const Case& c : cases) {
            p.files.AddFile(kFolder + "\\" + c.name, c.name);
            p.files.SetAge(kFolder + "\\" + c.name, c.age);
        }
        if (copy) {
            EXPECT_TRUE(CopyFile(p.ctx, kNewFile, kFrontEnd));
        } else {
            WriteFileReplacing(p.ctx, kFrontEnd, reinterpret_cast<const std::uint8_t*>("x"), 1);
        }
        for (const Case& c : cases) EXPECT_EQ(p.files.HasFile(kFolder + "\\" + c.name), !c.removed) << c.name;
        EXPECT_FALSE(p.files.HasFile(TemporaryOf(kFrontEnd)));
    }
}

// A file system whose source is 2 GiB and more, without holding it: reads hand out zeros and
// the destination only counts what it receives.
class HugeFileSystem : public platform::FileSystem {
public:
    static constexpr std::uint64_t kLength = (std::uint64_t{1} << 31) + 5;
    struct Source : platform::File {
        std::uint64_t pos = 0;
        std::uint64_t Length() override { return kLength; }
        std::size_t Read(std::uint8_t*, std::size_t count) override {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kLength - pos));
            pos += n;
            return n;
        }
        void Write(const std::uint8_t*, std::size_t) override { throw AgentError(75, "Path/File access error"); }
        void Close() override {}
    };
    struct Sink : platform::File {
        explicit Sink(HugeFileSystem& fs) : fs(fs) {}
        HugeFileSystem& fs;
        std::uint64_t Length() override { return fs.written; }
        std::size_t Read(std::uint8_t*, std::size_t) override { return 0; }
        void Write(const std::uint8_t*, std::size_t count) override {
            fs.written += count;
            fs.lastWrite = count;
        }
        void Close() override {}
    };
    bool FileExists(const std::string&) override { return true; }
    std::string FullPathName(const std::string& path) override { return path; }
    std::string WindowsFolder() override { return "C:\\WINDOWS"; }
    std::string ReadAllText(const std::string&, std::uint64_t) override { return {}; }
    std::unique_ptr<platform::File> OpenRead(const std::string&) override { return std::make_unique<Source>(); }
    std::unique_ptr<platform::File> CreateNew(const std::string&, platform::Durability) override {
        return std::make_unique<Sink>(*this);
    }
    void ReplaceFile(const std::string&, const std::string& destination) override { replaced = destination; }
    void RemoveFile(const std::string&) noexcept override {}
    std::vector<platform::FoundFile> FindFiles(const std::string&, const std::string&) override { return {}; }
    std::uint64_t written = 0;
    std::size_t lastWrite = 0;
    std::string replaced;
};

TEST(Files, CopyHandlesFilesOfTwoGibibytesAndMore) {
    FakePlatform p;
    HugeFileSystem huge;
    platform::Platform hugePlatform = WithFiles(p, huge);
    AgentContext ctx(hugePlatform);
    EXPECT_TRUE(CopyFile(ctx, "C:\\big.bin", "D:\\big.bin"));
    EXPECT_EQ(huge.written, HugeFileSystem::kLength);
    EXPECT_EQ(huge.lastWrite, 5u);
    EXPECT_EQ(huge.replaced, "D:\\big.bin");
}

} // namespace
} // namespace orv::test
