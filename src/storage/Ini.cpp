#include "storage/Ini.h"

#include <string>
#include <vector>

#include "util/Array.h"
#include "util/Files.h"

namespace orv {
namespace {

constexpr const char* kCrLf = "\r\n";
// The INI files the agent reads hold a few hundred bytes; a file far larger is no settings file
// (and reading it whole could exhaust a 32-bit program's memory), so it counts as unreadable.
constexpr std::uint64_t kMaxTextFileBytes = 4u * 1024u * 1024u;

// A name with a drive (":\" anywhere) or in UNC form ("\\" first) is a full path; anything
// else lives in the Windows folder.
std::string ResolveIniPath(AgentContext& ctx, const Variant& file) {
    const std::string name = ToText(file, ctx.platform.locale);
    if (name.find(":\\") != std::string::npos || name.compare(0, 2, "\\\\") == 0) return name;
    return ctx.platform.files.WindowsFolder() + "\\" + name;
}

// The text a value is written as; an absent value leaves the key line ending with its "=".
std::string ValueText(AgentContext& ctx, const Variant& value) {
    if (value.IsNull()) return {};
    return ToText(value, ctx.platform.locale);
}

std::string FileText(AgentContext& ctx, const Variant& file) {
    const Variant text = ReadTextFile(ctx, file);
    return text.IsEmpty() ? std::string() : ToText(text, ctx.platform.locale);
}

// The whole text of a file, or the error of its read.
std::string ReadWholeText(AgentContext& ctx, const Variant& file) {
    return ctx.platform.files.ReadAllText(ResolveIniPath(ctx, file), kMaxTextFileBytes);
}

struct SectionSpan {
    std::size_t start = std::string::npos;  // the "[" of the header
    std::size_t end = 0;                    // the CR LF before the next header, or the text's end
    bool Found() const { return start != std::string::npos; }
};

// The first "[section]" anywhere in the text, up to the first line that starts with "[" after it.
SectionSpan FindSection(const std::string& text, const std::string& section) {
    SectionSpan span;
    span.start = FindNoCase(text, "[" + section + "]");
    if (!span.Found()) return span;
    const std::size_t next = text.find("\r\n[", span.start);
    span.end = next == std::string::npos ? text.size() : next;
    return span;
}

} // namespace

Variant ReadTextFile(AgentContext& ctx, const Variant& file) {
    std::string text;
    try {
        text = ReadWholeText(ctx, file);
    } catch (const AgentError&) {
        // A file that is missing, cannot be read or is far too large counts as no settings at all.
        return {};
    }
    if (text.empty()) return {};
    return text;
}

void WriteTextFile(AgentContext& ctx, const Variant& file, const Variant& text) {
    const std::string path = ResolveIniPath(ctx, file);
    const std::string content = ToText(text, ctx.platform.locale);
    // Written beside the file and swapped in whole, so a full disk or a lost share never leaves
    // the settings empty or cut short.
    WriteFileReplacing(ctx, path, reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
}

Variant TextBetween(const Variant& text, const Variant& startMarker, const Variant& endMarker) {
    // Every caller passes texts; anything else counts as empty text.
    const std::string t = text.IsText() ? text.Get<std::string>() : std::string();
    const std::string start = startMarker.IsText() ? startMarker.Get<std::string>() : std::string();
    const std::string end = endMarker.IsText() ? endMarker.Get<std::string>() : std::string();

    std::size_t p = FindNoCase(t, start);
    if (p == std::string::npos) return {};
    p += start.size();
    std::size_t e = FindNoCase(t, end, p);
    if (e == std::string::npos) e = FindNoCase(t, kCrLf, p);
    if (e == std::string::npos) e = t.size();
    return t.substr(p, e - p);
}

Variant ReadIniValue(AgentContext& ctx, const Variant& section, const Variant& key, const Variant& defaultValue,
                     const Variant& file) {
    const std::string text = FileText(ctx, file);
    const SectionSpan span = FindSection(text, ToText(section, ctx.platform.locale));
    if (!span.Found()) return defaultValue;
    const std::string sectionText = text.substr(span.start, span.end - span.start);
    // A key line starts right after a line end, so the header line itself never holds a key.
    const std::string marker = kCrLf + ToText(key, ctx.platform.locale) + "=";
    if (FindNoCase(sectionText, marker) == std::string::npos) return defaultValue;
    return TextBetween(sectionText, marker, kCrLf);
}

namespace {

// The text with `key` set in `section` (see WriteIniValue).
std::string WithIniValue(AgentContext& ctx, std::string text, const std::string& sectionName,
                         const std::string& keyName, const Variant& value) {
    const std::string keyLine = keyName + "=" + ValueText(ctx, value);
    const SectionSpan span = FindSection(text, sectionName);

    if (span.Found()) {
        std::vector<std::string> lines;
        SplitText(text.substr(span.start, span.end - span.start), lines, kCrLf, -1, kCompareBinary);
        const std::string prefix = ToLowerAscii(keyName + "=");
        std::string newSection;
        bool found = false;
        for (std::string& line : lines) {
            if (ToLowerAscii(line.substr(0, prefix.size())) == prefix) {
                line = keyLine;
                found = true;
            }
            newSection += line + kCrLf;
        }
        if (found) {
            newSection.erase(newSection.size() - 2);
        } else {
            newSection += keyLine;
        }
        return text.substr(0, span.start) + newSection + text.substr(span.end);
    }
    if (!text.empty() && (text.size() < 2 || text.compare(text.size() - 2, 2, kCrLf) != 0)) text += kCrLf;
    return text + "[" + sectionName + "]" + kCrLf + keyLine;
}

} // namespace

void WriteIniValue(AgentContext& ctx, const Variant& section, const Variant& key, const Variant& value,
                   const Variant& file) {
    WriteIniValues(ctx, section, {{ToText(key, ctx.platform.locale), value}}, file);
}

void WriteIniValues(AgentContext& ctx, const Variant& section, const IniValues& values, const Variant& file) {
    std::string text;
    try {
        text = ReadWholeText(ctx, file);
    } catch (const AgentError& e) {
        // Only a file that is not there starts from nothing. One that is there but cannot be read
        // just now (held open by another program, a share that did not answer) would otherwise be
        // replaced by these keys, and every other setting in it lost: the write fails instead
        // and the file stays as it was.
        if (e.Number() != err::kFileNotFound) throw;
    }
    const std::string sectionName = ToText(section, ctx.platform.locale);
    for (const auto& [key, value] : values) text = WithIniValue(ctx, std::move(text), sectionName, key, value);
    WriteTextFile(ctx, file, text);
}

} // namespace orv
