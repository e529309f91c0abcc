#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/Fakes.h"
#include "util/Files.h"

namespace orv {
namespace {

using fakes::FakePlatform;

constexpr std::size_t kBlock = 8192;
const std::string kSource = "C:\\Updates\\ORV.mde";
const std::string kDestination = "C:\\Apps\\Orvastell\\ORV.mde";

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed = 1) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * 131 + seed) % 251);
    return data;
}

std::string Text(const std::vector<std::uint8_t>& data) { return std::string(data.begin(), data.end()); }

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

TEST(Files, CopyMovesWholeBlocksThenTheRest) {
    struct Case {
        std::size_t size;
        std::vector<std::size_t> writes;
    };
    const Case cases[] = {
        {0, {}},
        {kBlock - 1, {kBlock - 1}},
        {kBlock, {kBlock}},
        {kBlock + 1, {kBlock, 1}},
        {2 * kBlock + 1, {kBlock, kBlock, 1}},
    };
    for (const auto& c : cases) {
        FakePlatform p;
        const auto data = Pattern(c.size);
        p.files.AddFile(kSource, data);
        EXPECT_TRUE(CopyFile(p.ctx, kSource, kDestination)) << c.size;
        ASSERT_TRUE(p.files.HasFile(kDestination)) << c.size;
        EXPECT_EQ(p.files.Content(kDestination), Text(data)) << c.size;
        EXPECT_EQ(p.files.writeSizes, c.writes) << c.size;
        EXPECT_EQ(p.files.AllFiles().size(), 2u) << c.size;  // no temporary file left
        EXPECT_EQ(p.files.Content(kSource), Text(data));
        EXPECT_TRUE(p.messageBox.shown.empty());
    }
}

TEST(Files, CopyOverALargerDestinationLeavesExactlyTheSource) {
    FakePlatform p;
    p.files.AddFile(kSource, Pattern(100));
    p.files.AddFile(kDestination, Pattern(3 * kBlock, 7));
    EXPECT_TRUE(CopyFile(p.ctx, kSource, kDestination));
    EXPECT_EQ(p.files.Content(kDestination), Text(Pattern(100)));
}

TEST(Files, AMissingSourceIsReportedOnceAndCreatesNothing) {
    FakePlatform p;
    p.files.AddFolder("C:\\Updates");
    const auto before = p.files.AllFiles();
    EXPECT_FALSE(CopyFile(p.ctx, kSource, kDestination));
    EXPECT_EQ(p.files.AllFiles(), before);
    ASSERT_EQ(p.messageBox.shown.size(), 1u);
    EXPECT_EQ(p.messageBox.shown[0].text,
              "A problem has occured:\r\nThe file was not copied successfully.\r\n\r\nFile not found");
}

TEST(Files, AFailedCopyLeavesTheDestinationAsItWas) {
    const std::string old = Text(Pattern(500, 9));
    struct Case {
        const char* what;
        std::function<void(fakes::FakeFileSystem&)> arrange;
        const char* description;
    };
    const Case cases[] = {
        {"read", [](auto& fs) { fs.readBudget = kBlock + 10; }, "Device I/O error"},
        {"write", [](auto& fs) { fs.writeBudget = kBlock + 10; }, "Disk full"},
        {"close", [](auto& fs) { fs.failClose = true; }, "Disk full"},
        {"replace", [](auto& fs) { fs.failReplace.insert(fakes::NormalizePath(kDestination)); }, "Permission denied"},
        {"create", [](auto& fs) { fs.failCreate.insert(fakes::NormalizePath(TemporaryPathFor(kDestination))); },
         "Permission denied"},
    };
    for (const auto& c : cases) {
        FakePlatform p;
        p.files.AddFile(kSource, Pattern(3 * kBlock));
        p.files.AddFile(kDestination, old);
        c.arrange(p.files);
        EXPECT_FALSE(CopyFile(p.ctx, kSource, kDestination)) << c.what;
        EXPECT_EQ(p.files.Content(kDestination), old) << c.what;
        EXPECT_EQ(p.files.AllFiles().size(), 2u) << c.what;  // the temporary file is gone
        ASSERT_EQ(p.messageBox.shown.size(), 1u) << c.what;
        EXPECT_EQ(p.messageBox.shown[0].text,
                  std::string("A problem has occured:\r\nThe file was not copied successfully.\r\n\r\n") +
                      c.description)
            << c.what;
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
    std::string WindowsFolder() override { return "C:\\WINDOWS"; }
    std::string ReadAllText(const std::string&) override { return {}; }
    std::unique_ptr<platform::File> OpenRead(const std::string&) override { return std::make_unique<Source>(); }
    std::unique_ptr<platform::File> CreateWrite(const std::string&) override { return std::make_unique<Sink>(*this); }
    void ReplaceFile(const std::string&, const std::string& destination) override { replaced = destination; }
    void RemoveFile(const std::string&) noexcept override {}
    std::uint64_t written = 0;
    std::size_t lastWrite = 0;
    std::string replaced;
};

TEST(Files, CopyHandlesFilesOfTwoGibibytesAndMore) {
    FakePlatform p;
    HugeFileSystem huge;
    platform::Platform hugePlatform{p.registry, p.profile, p.shell, p.messageBox, p.windows,
                                    p.transfer, huge,      p.clock, p.locale,     p.process};
    AgentContext ctx(hugePlatform);
    EXPECT_TRUE(CopyFile(ctx, "C:\\big.bin", "D:\\big.bin"));
    EXPECT_EQ(huge.written, HugeFileSystem::kLength);
    EXPECT_EQ(huge.lastWrite, 5u);
    EXPECT_EQ(huge.replaced, "D:\\big.bin");
}

} // namespace
} // namespace orv
