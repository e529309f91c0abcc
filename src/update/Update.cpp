#include "update/Update.h"

#include <optional>
#include <string>

#include "common/AgentWindow.h"
#include "common/Messages.h"
#include "platform/Trace.h"
#include "storage/Ini.h"
#include "update/UpdateWindow.h"
#include "util/Files.h"

namespace orv {
namespace {

constexpr const char* kSection = "UpdateFrontend";
constexpr std::uint32_t kPauseBeforeCopyMs = 2000;

// A revision as a number under the user's regional settings. One mistyped revision must not
// keep the front-end from opening, so a text that is no number skips the update with one box
// that says where the bad value is.
std::optional<double> RevisionNumber(AgentContext& ctx, const Variant& revision, const std::string& file) {
    try {
        return ToDouble(revision, ctx.platform.locale);
    } catch (const AgentError&) {
        ShowError(ctx, "The automatic update of " + ctx.settings.ApplicationName +
                           " was skipped.\r\n\r\nThe revision \"" + ToText(revision, ctx.platform.locale) +
                           "\" in " + file + " is not a number.");
        return std::nullopt;
    }
}

// Records the copied revision: the time and the revision in its shortest numeric form, in one
// rewrite, so that config.ini is never left with the time of an update whose revision it lacks.
// The copy is already in place; if the configuration cannot be rewritten the next run copies
// again, which is harmless, so the user is told and the launch goes on.
bool RecordUpdate(AgentContext& ctx, double offered) {
    const std::string& config = ctx.settings.ConfigFilePath;
    try {
        const IniValues record = {{"FileLastUpdate", DateValue{ctx.platform.clock.Now()}}, {"FileRevision", offered}};
        WriteIniValues(ctx, kSection, record, config);
        return true;
    } catch (const AgentError& e) {
        ShowError(ctx, "The front-end was updated, but its new revision could not be recorded in " + config +
                           ".\r\n\r\n" + e.Description());
        return false;
    }
}

// The folder part of a full path, with its "\" kept at a drive's root.
std::string FolderOfFullPath(const std::string& path) {
    const auto slash = path.find_last_of('\\');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash == 2 && path[1] == ':' ? 3 : slash);
}

// Where the new front-end goes: the agent's folder, under the name at the end of FileLocation.
// That name comes from a file that others can write, so it is used only if it is a plain file
// name that lands in that very folder; otherwise the update is skipped with one box that says
// where the bad value is, as for a revision that is no number.
std::optional<std::string> DestinationOf(AgentContext& ctx, const Variant& newFile, const std::string& description) {
    const platform::Locale& locale = ctx.platform.locale;
    const std::string folder = ctx.platform.process.ApplicationFolder();
    const std::string name = ToText(GetFileNameFromPath(ctx, newFile), locale);
    const std::string destination = folder + "\\" + name;
    platform::FileSystem& files = ctx.platform.files;
    if (IsPlainFileName(name)) {
        const std::string full = files.FullPathName(destination);
        if (!full.empty() && FolderOfFullPath(full) == files.FullPathName(folder)) return destination;
    }
    ShowError(ctx, "The automatic update of " + ctx.settings.ApplicationName +
                       " was skipped.\r\n\r\nThe file location \"" + ToText(newFile, locale) + "\" in " +
                       description + " does not end in a plain file name.");
    return std::nullopt;
}

} // namespace

bool RunAutomaticUpdate(AgentContext& ctx) {
    const std::string& config = ctx.settings.ConfigFilePath;
    const Variant none = std::string();
    if (!FileExists(ctx, config)) return false;

    const Variant location = ReadIniValue(ctx, kSection, "UpdateLocation", none, config);
    const Variant installed = ReadIniValue(ctx, kSection, "FileRevision", none, config);
    if (!IsPresent(location) || !IsPresent(installed)) return false;
    if (!FileExists(ctx, location)) return false;

    const std::string description = ToText(location, ctx.platform.locale);
    const Variant offered = ReadIniValue(ctx, kSection, "FileRevision", none, description);
    const Variant newFile = ReadIniValue(ctx, kSection, "FileLocation", none, description);
    if (!IsPresent(newFile) || !IsPresent(offered)) return false;

    const std::optional<double> offeredNumber = RevisionNumber(ctx, offered, description);
    if (!offeredNumber) return false;
    const std::optional<double> installedNumber = RevisionNumber(ctx, installed, config);
    if (!installedNumber) return false;
    if (!(*installedNumber < *offeredNumber)) return false;
    if (!FileExists(ctx, newFile)) return false;
    const std::optional<std::string> destination = DestinationOf(ctx, newFile, description);
    if (!destination) return false;

    UpdateWindow& window = TheUpdateWindow(ctx);
    bool result = false;
    try {
        ShowForm(window);
        // The pause and the copy block the thread, so the window must be on the screen before.
        window.Refresh();
        ORV_TRACE_EVENT("update window shown");
        ctx.platform.clock.Sleep(kPauseBeforeCopyMs);

        // A failed copy has told the user why; the configuration stays as it was so the next
        // run tries again.
        if (CopyFile(ctx, ToText(newFile, ctx.platform.locale), *destination))
            result = RecordUpdate(ctx, *offeredNumber);
    } catch (const AgentError&) {
        window.Unload();
        throw;
    }
    window.Unload();
    ORV_TRACE_EVENT("update window gone");
    return result;
}

} // namespace orv
