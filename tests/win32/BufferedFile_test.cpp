// The file objects gather small reads and writes into large ones: what a caller reads and writes
// must be exactly what it would be without that, across the edges of the buffer, and a write
// that fails in the buffer must still fail for the caller.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Win32Harness.h"
#include "win32/Win32FileSystem.h"
#include "util/Files.h"

namespace orv {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::Win32Platform;
using testing::WriteBytes;

constexpr std::size_t kMB = 1024 * 1024;

// No two neighbouring KB alike, so a block read from the wrong place shows.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13 + i / 1024 + i / 65536) & 0xFF);
    return bytes;
}

const std::uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

bool Throws(const std::function<void()>& action) {
    try {
        action();
    } catch (const AgentError&) {
        return true;
    }
    return false;
}

// The write end of a pipe whose read end is gone: every write to it fails, but flushing it
// does not, so only the write itself can report the failure.
HANDLE BrokenPipe() {
    HANDLE read = nullptr, write = nullptr;
    if (!::CreatePipe(&read, &write, nullptr, 0)) return nullptr;
    ::CloseHandle(read);
    return write;
}

TEST(Win32BufferedFile, ReadsAcrossTheEdgesOfTheReadAheadGiveTheFileExactly) {
    Win32Platform p;
    ScratchFolder dir;
    const std::string data = Pattern(3 * kMB + 777);
    WriteBytes(dir / "source.bin", data);

    auto in = p.files.OpenRead(dir / "source.bin");
    EXPECT_EQ(in->Length(), data.size());
    std::string got;
    std::vector<std::uint8_t> block(3 * kMB);
    auto take = [&](std::size_t count) {
        const std::size_t n = in->Read(block.data(), count);
        got.append(reinterpret_cast<const char*>(block.data()), n);
        return n;
    };
    // Up to just short of the first edge, then one read across it.
    EXPECT_EQ(take(kMB - 100), kMB - 100);
    EXPECT_EQ(take(8192), 8192u);
    // Single bytes, then a read larger than the buffer that starts inside it.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(take(1), 1u);
    EXPECT_EQ(take(kMB + 3), kMB + 3);
    // Blocks of the copy's size up to the end: the last one is short, then nothing is left.
    std::size_t n = 0;
    while ((n = take(8192)) == 8192) {
    }
    EXPECT_EQ(got.size(), data.size());
    EXPECT_EQ(take(8192), 0u);
    EXPECT_TRUE(got == data) << "the bytes read differ from the file";
    in->Close();
}

TEST(Win32BufferedFile, WritesOfEverySizeArriveInOrderAndCountBeforeClose) {
    Win32Platform p;
    ScratchFolder dir;
    const std::string data = Pattern(3 * kMB + 5);
    auto out = p.files.CreateNew(dir / "out.bin", platform::Durability::Flushed);
    std::size_t at = 0;
    // Small writes, a write larger than the buffer while it holds some, small ones again, and
    // one that ends exactly on the buffer's edge.
    for (std::size_t size : {std::size_t{1}, std::size_t{8191}, kMB + 17, std::size_t{8192}, kMB - 8192 - 17 - 8192,
                             std::size_t{3}}) {
        out->Write(Bytes(data) + at, size);
        at += size;
        EXPECT_EQ(out->Length(), at);
    }
    out->Write(Bytes(data) + at, data.size() - at);
    out->Close();
    EXPECT_TRUE(ReadBytes(dir / "out.bin") == data) << "the file differs from what was written";

    // A copy in blocks, over a target that was larger.
    WriteBytes(dir / "target.bin", Pattern(4 * kMB));
    EXPECT_TRUE(CopyFile(p.ctx, dir / "out.bin", dir / "target.bin"));
    EXPECT_TRUE(ReadBytes(dir / "target.bin") == data) << "the copy differs from its source";
    EXPECT_TRUE(p.messageBox.shown.empty());
}

TEST(Win32BufferedFile, AFileLeftWithoutCloseStillGetsWhatWasWritten) {
    ScratchFolder dir;
    win32::Win32FileSystem files;
    {
        auto out = files.CreateNew(dir / "left.bin", platform::Durability::Flushed);
        out->Write(Bytes("abc"), 3);
    }
    EXPECT_EQ(ReadBytes(dir / "left.bin"), "abc");
}

TEST(Win32BufferedFile, AWriteThatFailsInTheBufferFailsTheClose) {
    HANDLE pipe = BrokenPipe();
    ASSERT_NE(pipe, nullptr);
    auto out = win32::AdoptFileHandle(pipe, true);
    const std::string small = Pattern(100);
    try {
        out->Write(Bytes(small), small.size());
    } catch (const AgentError&) {
        // Reporting it at once is fine too; it must not pass for written.
        return;
    }
    EXPECT_TRUE(Throws([&] { out->Close(); })) << "a buffered write that failed was reported as written";
    EXPECT_FALSE(Throws([&] { out->Close(); }));  // closed all the same
}

TEST(Win32BufferedFile, AFailedWriteIsReportedOnEveryLaterWriteAndAtClose) {
    // Small writes that fill the buffer: the one that fills it fails.
    {
        HANDLE pipe = BrokenPipe();
        ASSERT_NE(pipe, nullptr);
        auto out = win32::AdoptFileHandle(pipe, true);
        const std::string block = Pattern(8192);
        bool failed = false;
        for (std::size_t written = 0; written < 2 * kMB && !failed; written += block.size())
            failed = Throws([&] { out->Write(Bytes(block), block.size()); });
        EXPECT_TRUE(failed) << "2 MB written to a broken pipe without an error";
        EXPECT_TRUE(Throws([&] { out->Write(Bytes(block), block.size()); }));
        EXPECT_TRUE(Throws([&] { out->Close(); }));
    }
    // One write larger than the buffer fails in the call itself.
    {
        HANDLE pipe = BrokenPipe();
        ASSERT_NE(pipe, nullptr);
        auto out = win32::AdoptFileHandle(pipe, true);
        const std::string large = Pattern(kMB + 1);
        EXPECT_TRUE(Throws([&] { out->Write(Bytes(large), large.size()); }));
        EXPECT_TRUE(Throws([&] { out->Close(); }));
    }
}

} // namespace
} // namespace orv
