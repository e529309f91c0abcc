#include "probe/Registry.h"

#include "common/Messages.h"
#include "common/RegistryData.h"

namespace orv {
namespace {

constexpr std::uint32_t kFirstBufferSize = 1024;
constexpr std::size_t kMaxPath = 260;
// ShellExecuteA answers 32 or less when it could not hand the file over.
constexpr std::intptr_t kShellExecuteFailedAtMost = 32;

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
    RegistryQuery query;
    query.access = platform::AccessInAgentView(root, platform::kKeyRead);
    query.firstSize = kFirstBufferSize;
    RegistryData data = ReadRegistryData(ctx.platform.registry, root, keyPath, valueName, query);
    if (data.openStatus != platform::kErrorSuccess) return defaultValue ? *defaultValue : Variant();
    // A value that cannot be read (missing, or changed or gone between the two queries) has
    // nothing in the buffer that belongs to it, so it counts as one of no supported type.
    const std::uint32_t type = data.status == platform::kErrorSuccess ? data.type : platform::kRegNone;

    switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
    case platform::kRegMultiSz: return TextOfRegistryData(data.bytes, type);
    case platform::kRegBinary: return std::move(data.bytes);
    case platform::kRegDword: return static_cast<std::int32_t>(LittleEndianOf(data.bytes));
    default:
        // The key is already closed.
        throw AgentError(err::kUnsupportedValueType, "Unsupported value type");
    }
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

bool OpenWithShell(AgentContext& ctx, const Variant& path) {
    try {
        const std::string file = ToText(path, ctx.platform.locale);
        auto& shell = ctx.platform.shell;
        const std::intptr_t result = shell.ShellExecute("open", file, "", platform::kSwShowNormal);
        if (result > kShellExecuteFailedAtMost) return true;
        // Otherwise nothing at all would happen on the user's screen: say which file and why.
        std::string reason = shell.ShellExecuteErrorText(result);
        if (reason.empty()) reason = "The shell gave error " + std::to_string(result) + ".";
        ShowError(ctx, "The file " + file + " could not be opened.\r\n\r\n" + reason);
    } catch (const AgentError& e) {
        ShowError(ctx, e.Description());
    }
    return false;
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
