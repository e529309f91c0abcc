#include "util/Files.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "common/Messages.h"
#include "platform/Trace.h"
#include "util/Array.h"

namespace orv {
namespace {

Variant LastElement(AgentContext& ctx, const Variant& path, const std::string& separator) {
    if (path.IsNull()) throw AgentError::InvalidUseOfNull();
    const std::string text = ToText(path, ctx.platform.locale);
    if (text.empty()) return {};
    if (text.find(separator) == std::string::npos) return text;
    std::vector<std::string> parts;
    return SplitText(text, parts, separator, -1, kCompareBinary).back();
}

constexpr std::string_view kTemporarySuffix = ".orvtmp";
// A temporary file that a killed run (or a power cut) left behind is removed by a later run once
// nothing has written to it for this long: a copy from a slow share may take minutes, but its file
// grows all the while (and Windows does not delete a file that the agent writing it holds open).
constexpr std::int64_t kStaleTemporarySeconds = 10 * 60;

std::string TemporaryName(const std::string& target, std::uint32_t processId, std::uint32_t random) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(random));
    return target + "." + std::to_string(processId) + "-" + hex + std::string(kTemporarySuffix);
}

// True when `name` is one that TemporaryName gives to a file beside one named `targetName`: that
// name (in either case), a dot, a process id (decimal, no leading zero), a dash, eight lower-case
// hexadecimal digits and ".orvtmp". Nothing else in a folder is the agent's to remove.
bool IsTemporaryNameOf(const std::string& name, const std::string& targetName) {
    if (name.size() <= targetName.size() + kTemporarySuffix.size() + 1) return false;
    if (ToLowerAscii(name.substr(0, targetName.size())) != ToLowerAscii(targetName)) return false;
    std::string_view rest(name);
    rest.remove_prefix(targetName.size());
    if (rest.front() != '.' || !rest.ends_with(kTemporarySuffix)) return false;
    rest = rest.substr(1, rest.size() - 1 - kTemporarySuffix.size());
    const std::size_t dash = rest.find('-');
    if (dash == std::string_view::npos) return false;
    const std::string_view id = rest.substr(0, dash), random = rest.substr(dash + 1);
    const auto all = [](std::string_view text, std::string_view allowed) {
        return text.find_first_not_of(allowed) == std::string_view::npos;
    };
    return !id.empty() && id.size() <= 10 && id.front() != '0' && all(id, "0123456789") && random.size() == 8 &&
           all(random, "0123456789abcdef");
}

} // namespace

// A new file beside a target, that replaces the target only once it is complete, and is removed
// when the work on it did not finish. Its name is the target's, the process id and a random part,
// and it is created only where nothing has that name yet: a file or a link that someone placed
// there beforehand is never written through, and two agents at work in one folder do not meet.
// What a killed run left beside the target is cleared away first.
class TemporaryFile {
public:
    TemporaryFile(AgentContext& ctx, const std::string& target, platform::Durability durability)
        : files_(ctx.platform.files) {
        RemoveStaleTemporaryFiles(ctx, target);
        constexpr int kAttempts = 16;
        for (int attempt = 1;; ++attempt) {
            path_ = TemporaryName(target, ctx.platform.process.ProcessId(), ctx.platform.process.RandomNumber());
            try {
                file_ = files_.CreateNew(path_, durability);
                return;
            } catch (const AgentError& e) {
                if (e.Number() != err::kFileAlreadyExists || attempt == kAttempts) throw;
            }
        }
    }
    ~TemporaryFile() {
        file_.reset();
        if (!committed_) files_.RemoveFile(path_);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    platform::File& File() { return *file_; }
    void CommitTo(const std::string& target) {
        files_.ReplaceFile(path_, target);
        committed_ = true;
    }

private:
    platform::FileSystem& files_;
    std::string path_;
    std::unique_ptr<platform::File> file_;
    bool committed_ = false;
};

platform::Sha256Digest Sha256Of(platform::Hash& hash, const ByteBlocks& bytes) {
    std::vector<platform::ByteSpan> pieces;
    bytes.ForEachBlock([&](const std::uint8_t* data, std::size_t n) { pieces.emplace_back(data, n); });
    return hash.Sha256(pieces);
}

// The box of a failed copy names the file that failed (the source that could not be read, or the
// destination that could not be written), so that the user knows where to look.
void ReportCopyFailure(AgentContext& ctx, const AgentError& e, const std::string& file) {
    ShowError(ctx, "The file was not copied successfully.\r\n\r\n" + e.Description() + ": " + file);
}

void RemoveStaleTemporaryFiles(AgentContext& ctx, const std::string& target) {
    platform::FileSystem& files = ctx.platform.files;
    const std::size_t slash = target.find_last_of('\\');
    if (slash == std::string::npos) return;
    const std::string folder = target.substr(0, slash), name = target.substr(slash + 1);
    if (name.empty()) return;
    for (const platform::FoundFile& found : files.FindFiles(folder, name + "."))
        if (found.ageSeconds >= kStaleTemporarySeconds && IsTemporaryNameOf(found.name, name))
            files.RemoveFile(folder + "\\" + found.name);
}

bool FileExists(AgentContext& ctx, const Variant& path) {
    if (path.IsNull()) return false;
    return ctx.platform.files.FileExists(ToText(path, ctx.platform.locale));
}

Variant GetFileNameFromPath(AgentContext& ctx, const Variant& path) { return LastElement(ctx, path, "\\"); }

Variant GetFileNameFromUrl(AgentContext& ctx, const Variant& address) { return LastElement(ctx, address, "/"); }

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return false;
        if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
    }
    if (name.back() == '.' || name.back() == ' ') return false;
    // A device keeps its meaning whatever follows its name after a dot, and blanks before it.
    std::string base = ToUpperAscii(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const auto device : kDevices)
        if (base == device) return false;
    const bool numbered = base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0);
    if (!numbered) return true;
    // Windows counts the superscript digits one to three (bytes B9, B2, B3 in the Western code
    // page) as port numbers too.
    const auto digit = static_cast<unsigned char>(base[3]);
    return !((digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3);
}

PendingCopy::PendingCopy(AgentContext& ctx, const std::string& source, const std::string& destination, bool digest)
    : destination_(destination) {
    auto& files = ctx.platform.files;
    // The file that a failure concerns: the source while it is read, the destination otherwise.
    const std::string* at = &source;
    try {
        std::vector<std::uint8_t> block(kCopyBlockSize);
        auto in = files.OpenRead(source);
        std::uint64_t remaining = in->Length();
        // What was written, kept to be hashed in one piece once complete.
        ByteBlocks written;
        const bool hashed = digest && remaining <= kMaxDigestLength;
        // The copy replaces the user's front-end or a system component: on the disk before it does.
        at = &destination;
        temp_ = std::make_unique<TemporaryFile>(ctx, destination, platform::Durability::Flushed);
        platform::File& out = temp_->File();
        while (remaining > 0) {
            const std::size_t want = remaining < kCopyBlockSize ? static_cast<std::size_t>(remaining) : kCopyBlockSize;
            at = &source;
            const std::size_t got = in->Read(block.data(), want);
            // A source that shrinks under the copy (a share that went away) must not pass for a
            // complete copy.
            if (got != want) throw AgentError::InputPastEndOfFile();
            at = &destination;
            out.Write(block.data(), got);
            if (hashed) written.Append(block.data(), got);
            remaining -= got;
        }
        out.Close();
        at = &source;
        in->Close();
        at = &destination;
        if (hashed) digest_ = Sha256Of(ctx.platform.hash, written);
    } catch (const AgentError& e) {
        throw CopyFailure(e, *at);
    }
}

PendingCopy::~PendingCopy() = default;

void PendingCopy::Commit() { temp_->CommitTo(destination_); }

std::optional<PendingCopy> PrepareCopy(AgentContext& ctx, const std::string& source, const std::string& destination,
                                       bool digest) {
    try {
        return std::optional<PendingCopy>(std::in_place, ctx, source, destination, digest);
    } catch (const CopyFailure& e) {
        ReportCopyFailure(ctx, e, e.File());
        return std::nullopt;
    }
}

bool CommitCopy(AgentContext& ctx, PendingCopy& copy) {
    try {
        copy.Commit();
        return true;
    } catch (const AgentError& e) {
        ReportCopyFailure(ctx, e, copy.Destination());
        return false;
    }
}

bool CopyFile(AgentContext& ctx, const std::string& source, const std::string& destination) {
    std::optional<PendingCopy> copy = PrepareCopy(ctx, source, destination, false);
    return copy && CommitCopy(ctx, *copy);
}

std::optional<platform::Sha256Digest> FileDigest(AgentContext& ctx, const std::string& path, std::uint64_t maxBytes) {
    auto in = ctx.platform.files.OpenRead(path);
    if (in->Length() > maxBytes) return std::nullopt;
    // Read to its end, whatever length it gave: what is hashed is all that the next reader gets.
    ByteBlocks bytes;
    std::vector<std::uint8_t> block(ByteBlocks::kBlockSize);
    for (;;) {
        const std::size_t got = in->Read(block.data(), block.size());
        if (got == 0) break;
        if (bytes.Size() + got > maxBytes) return std::nullopt;
        bytes.Append(block.data(), got);
    }
    in->Close();
    return Sha256Of(ctx.platform.hash, bytes);
}

std::optional<platform::Sha256Digest> ParseSha256(const std::string& text) {
    platform::Sha256Digest digest{};
    if (text.size() != 2 * digest.size()) return std::nullopt;
    const auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = nibble(text[2 * i]), low = nibble(text[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        digest[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return digest;
}

namespace {

template <typename Write>
void WriteReplacing(AgentContext& ctx, const std::string& path, platform::Durability durability, Write&& write) {
    TemporaryFile temp(ctx, path, durability);
    write(temp.File());
    ORV_TRACE_EVENT("file written");
    temp.File().Close();
    ORV_TRACE_EVENT("file closed");
    temp.CommitTo(path);
    ORV_TRACE_EVENT("file renamed");
}

} // namespace

void WriteFileReplacing(AgentContext& ctx, const std::string& path, const std::uint8_t* data, std::size_t size,
                        platform::Durability durability) {
    WriteReplacing(ctx, path, durability, [&](platform::File& file) {
        if (size > 0) file.Write(data, size);
    });
}

void WriteFileReplacing(AgentContext& ctx, const std::string& path, const ByteBlocks& data,
                        platform::Durability durability) {
    WriteReplacing(ctx, path, durability, [&](platform::File& file) {
        data.ForEachBlock([&](const std::uint8_t* block, std::size_t n) { file.Write(block, n); });
    });
}

} // namespace orv
