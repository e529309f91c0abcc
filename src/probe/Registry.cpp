#include "probe/Registry.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/Messages.h"

namespace orv {
namespace {

constexpr std::uint32_t kFirstBufferSize = 1024;
constexpr std::size_t kMaxPath = 260;


const char* CurVerKeyPath(OfficeApplication application) {
    switch (application) {
    case OfficeApplication::Word: return "Word.Document\\CurVer";
    case OfficeApplication::Access: return "Access.Database\\CurVer";
    case OfficeApplication::Excel: return "Excel.Sheet\\CurVer";
    case OfficeApplication::PowerPoint: return "PowerPoint.Slide\\CurVer";
    case OfficeApplication::Outlook: return "Outlook.Envelope\\CurVer";
    }
    return nullptr;
}

// The first `count` bytes of the data as text, minus `strip` terminating bytes; a value too short
// to hold its terminator gives empty text.
std::string TextOfData(const std::vector<std::uint8_t>& data, std::size_t count, std::size_t strip) {
    if (count <= strip) return {};
    return std::string(reinterpret_cast<const char*>(data.data()), count - strip);
}

// A component path with blanks would be split into several arguments by regsvr32.
std::string QuotedIfNeeded(const std::string& path) {
    const bool hasBlank = path.find_first_of(" \t") != std::string::npos;
    const bool quoted = path.size() >= 2 && path.front() == '"' && path.back() == '"';
    if (!hasBlank || quoted) return path;
    return "\"" + path + "\"";
}

} // namespace

Variant GetRegistryValue(AgentContext& ctx, std::uint32_t root, const std::string& keyPath,
                         const std::string& valueName, const std::optional<Variant>& defaultValue) {
    auto& registry = ctx.platform.registry;
    Variant result = defaultValue ? *defaultValue : Variant();

    platform::RegKey handle = 0;
    if (registry.OpenKey(root, keyPath, platform::AccessInAgentView(root, platform::kKeyRead), handle) !=
        platform::kErrorSuccess)
        return result;
    platform::KeyCloser key(registry, handle);

    std::vector<std::uint8_t> buffer(kFirstBufferSize);
    std::uint32_t size = kFirstBufferSize;
    std::uint32_t type = platform::kRegNone;
    std::int32_t status = registry.QueryValue(key.Handle(), valueName, type, buffer.data(), size);
    if (status == platform::kErrorMoreData) {
        buffer.assign(size, 0);
        status = registry.QueryValue(key.Handle(), valueName, type, buffer.data(), size);
        // The value changed or vanished between the two queries: the buffer holds nothing that
        // belongs to it, so it counts as a value that cannot be read.
        if (status != platform::kErrorSuccess) type = platform::kRegNone;
    }
    // Never trust a reported size beyond what the buffer holds.
    const std::size_t n = std::min<std::size_t>(size, buffer.size());

    switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz: result = TextOfData(buffer, n, 1); break;
    case platform::kRegMultiSz: result = TextOfData(buffer, n, 2); break;
    case platform::kRegBinary:
        buffer.resize(n);
        result = std::move(buffer);
        break;
    case platform::kRegDword: {
        // A shorter value fills only the low bytes.
        std::uint8_t bytes[4] = {0, 0, 0, 0};
        std::memcpy(bytes, buffer.data(), std::min<std::size_t>(n, 4));
        const std::uint32_t u = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                                (static_cast<std::uint32_t>(bytes[2]) << 16) |
                                (static_cast<std::uint32_t>(bytes[3]) << 24);
        result = static_cast<std::int32_t>(u);
        break;
    }
    default:
        key.Close();
        throw AgentError(err::kUnsupportedValueType, "Unsupported value type");
    }
    key.Close();
    return result;
}

bool IsOfficeAppInstalled(AgentContext& ctx, OfficeApplication application) {
    const char* keyPath = CurVerKeyPath(application);
    if (keyPath == nullptr) return false;
    const Variant value = GetRegistryValue(ctx, platform::kHkeyClassesRoot, keyPath, "");
    return !ToText(value, ctx.platform.locale).empty();
}

Variant GetAccessVersion(AgentContext& ctx) {
    if (!IsOfficeAppInstalled(ctx, OfficeApplication::Access)) return {};
    const Variant value = GetRegistryValue(ctx, platform::kHkeyClassesRoot, "Access.Database\\CurVer", "");
    const auto& locale = ctx.platform.locale;
    const std::string text = ToText(value, locale);
    if (text.empty()) return value;
    // The class name ends in the major version: Access.Database.11, or .9 for the old ones.
    if (text.size() >= 2) {
        const std::string lastTwo = text.substr(text.size() - 2);
        if (IsNumeric(lastTwo, locale)) return lastTwo;
    }
    const std::string lastOne = text.substr(text.size() - 1);
    if (IsNumeric(lastOne, locale)) return lastOne;
    return text;
}

Variant OpenWithShell(AgentContext& ctx, const Variant& path) {
    try {
        const std::string file = ToText(path, ctx.platform.locale);
        // Whether the shell found a program for the file is not examined.
        (void)ctx.platform.shell.ShellExecute("open", file, "", platform::kSwShowNormal);
    } catch (const AgentError& e) {
        ShowError(ctx, e.Description());
    }
    return {};
}

bool RegisterComponent(AgentContext& ctx, const Variant& path) {
    try {
        const std::string commandLine = "regsvr32 /s " + QuotedIfNeeded(ToText(path, ctx.platform.locale));
        // By its full path in the system folder, the one whose regsvr32 registers 32-bit
        // components: a regsvr32.exe that lies beside the agent or in the current folder must
        // never be the one that runs.
        const std::string folder = GetSystemFolder(ctx);
        if (folder.empty())
            throw AgentError(err::kFileNotFound, "regsvr32 could not be found: the system folder is unknown.");
        return ctx.platform.shell.StartProcess(folder + "\\regsvr32.exe", commandLine, platform::kSwHide) != 0;
    } catch (const AgentError& e) {
        ShowError(ctx, e.Description());
        return false;
    }
}

std::string GetSystemFolder(AgentContext& ctx) {
    std::string buffer(kMaxPath, '\0');
    // The 32-bit system folder, where the 32-bit transfer control belongs and where the
    // regsvr32 that registers it lives: 64-bit Windows keeps it apart from its own (SysWOW64);
    // 32-bit Windows has only the one and answers 0 to the first question.
    std::uint32_t length = ctx.platform.shell.GetSystemWow64Directory(buffer);
    if (length == 0) length = ctx.platform.shell.GetSystemDirectory(buffer);
    if (length == 0) return {};
    // A path too long for the buffer leaves it all NUL, which gives empty text here.
    return buffer.substr(0, buffer.find('\0'));
}

} // namespace orv
