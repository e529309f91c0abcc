#include "util/Files.h"

#include <string_view>
#include <vector>

#include "agent/Messages.h"
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

// Removes the temporary file when the work on it did not finish.
class TemporaryFile {
public:
    TemporaryFile(platform::FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!committed_) files_.RemoveFile(path_);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return path_; }
    void CommitTo(const std::string& destination) {
        files_.ReplaceFile(path_, destination);
        committed_ = true;
    }

private:
    platform::FileSystem& files_;
    std::string path_;
    bool committed_ = false;
};

} // namespace

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
    return !(numbered && base[3] >= '1' && base[3] <= '9');
}

std::string TemporaryPathFor(const std::string& path) { return path + ".orvtmp"; }

bool CopyFile(AgentContext& ctx, const std::string& source, const std::string& destination) {
    auto& files = ctx.platform.files;
    try {
        std::vector<std::uint8_t> block(kCopyBlockSize);
        auto in = files.OpenRead(source);
        TemporaryFile temp(files, TemporaryPathFor(destination));
        {
            auto out = files.CreateWrite(temp.Path());
            std::uint64_t remaining = in->Length();
            while (remaining > 0) {
                const std::size_t want =
                    remaining < kCopyBlockSize ? static_cast<std::size_t>(remaining) : kCopyBlockSize;
                const std::size_t got = in->Read(block.data(), want);
                // A source that shrinks under the copy (a share that went away) must not pass
                // for a complete copy.
                if (got != want) throw AgentError(62, "Input past end of file");
                out->Write(block.data(), got);
                remaining -= got;
            }
            out->Close();
        }
        in->Close();
        temp.CommitTo(destination);
        return true;
    } catch (const AgentError& e) {
        ShowError(ctx, "The file was not copied successfully.\r\n\r\n" + e.Description());
        return false;
    }
}

void WriteFileReplacing(AgentContext& ctx, const std::string& path, const std::uint8_t* data, std::size_t size) {
    auto& files = ctx.platform.files;
    TemporaryFile temp(files, TemporaryPathFor(path));
    {
        auto out = files.CreateWrite(temp.Path());
        if (size > 0) out->Write(data, size);
        out->Close();
    }
    temp.CommitTo(path);
}

} // namespace orv
