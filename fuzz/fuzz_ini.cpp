// The INI reader and writer over any file text, section, key and value. After a write of a value
// without a line break the key reads back as that value, the text before the section and after
// its end stays byte for byte, the section's other lines stay as they were, writing the same
// again changes nothing, and a write that fails leaves the old file and no temporary file.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "fakes/Fakes.h"
#include "storage/Ini.h"
#include "util/Files.h"

namespace {

using orv::fuzz::Shown;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Where the section lies, found independently of the module: the first "[name]" in any case, up
// to the first CR LF "[" after it.
struct Span {
    bool found = false;
    std::size_t start = 0, end = 0;
};

Span FindSection(const std::string& text, const std::string& section) {
    Span span;
    const std::size_t s = Lower(text).find(Lower("[" + section + "]"));
    if (s == std::string::npos) return span;
    const std::size_t n = text.find("\r\n[", s);
    span.found = true;
    span.start = s;
    span.end = n == std::string::npos ? text.size() : n;
    return span;
}

// The lines of a section's text that are lines of `key` (keyLines true) or are not.
std::vector<std::string> Lines(const std::string& sectionText, const std::string& key, bool keyLines) {
    std::vector<std::string> lines;
    const std::string prefix = Lower(key + "=");
    std::size_t start = 0;
    for (;;) {
        const std::size_t p = sectionText.find("\r\n", start);
        const std::string line = sectionText.substr(start, p == std::string::npos ? std::string::npos : p - start);
        if ((Lower(line.substr(0, prefix.size())) == prefix) == keyLines) lines.push_back(line);
        if (p == std::string::npos) break;
        start = p + 2;
    }
    return lines;
}

std::string WithoutLineBreaks(std::string s) {
    for (std::size_t p; (p = s.find("\r\n")) != std::string::npos;) s.erase(p, 2);
    return s;
}

std::string WithoutCrLf(std::string s) {
    std::string out;
    for (char c : s)
        if (c != '\r' && c != '\n') out += c;
    return out;
}

bool HasTemporaryFile(const orv::fakes::FakeFileSystem& files) {
    for (const auto& name : files.AllFiles())
        if (name.size() >= 7 && Lower(name.substr(name.size() - 7)) == ".orvtmp") return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
    // Section and key names hold no line break, and a key does not begin with "[" (such a line
    // would start a section of its own); every other byte is allowed.
    const std::string section = WithoutCrLf(in.ConsumeRandomLengthString(24));
    std::string key = WithoutCrLf(in.ConsumeRandomLengthString(24));
    while (!key.empty() && key[0] == '[') key.erase(0, 1);
    const std::string valueText = WithoutLineBreaks(in.ConsumeRandomLengthString(48));
    const std::string secondText = WithoutLineBreaks(in.ConsumeRandomLengthString(16));
    const std::uint64_t budget = in.ConsumeIntegralInRange<std::uint64_t>(0, 96);
    const std::string text = in.ConsumeRemainingBytesAsString();

    orv::fakes::FakePlatform p;
    const std::string file = (flags & 1) ? "config.ini" : "C:\\Agent\\config\\config.ini";
    const std::string path = (flags & 1) ? "C:\\WINDOWS\\config.ini" : file;
    if (flags & 2) p.files.AddFile(path, text);
    else p.files.AddFolder("C:\\Agent\\config");
    const std::string before = (flags & 2) ? text : std::string();
    const orv::Variant missing = orv::Variant::Null();

    // Reading whatever is there must not fail, whatever it holds.
    (void)orv::ReadIniValue(p.ctx, section, key, missing, file);

    orv::Variant value = valueText;
    if (flags & 4) value = static_cast<std::int32_t>(static_cast<std::int64_t>(valueText.size()) * 7919 - 1000);
    const std::string expected = orv::ToText(value, p.locale);

    orv::WriteIniValue(p.ctx, section, key, value, file);
    const std::string after = p.files.Content(path);
    const orv::Variant read = orv::ReadIniValue(p.ctx, section, key, missing, file);
    FUZZ_CHECK(read.IsText() && read.Get<std::string>() == expected,
               "read back " + (read.IsText() ? Shown(read.Get<std::string>()) : "(no text)") + " for " +
                   Shown(expected) + " in " + Shown(after));
    FUZZ_CHECK(!HasTemporaryFile(p.files), "temporary file left");

    const Span old = FindSection(before, section);
    if (old.found) {
        const std::string prefix = before.substr(0, old.start);
        const std::string suffix = before.substr(old.end);
        FUZZ_CHECK(after.size() >= prefix.size() + suffix.size() && after.compare(0, prefix.size(), prefix) == 0 &&
                       after.compare(after.size() - suffix.size(), suffix.size(), suffix) == 0,
                   "text outside the section changed: " + Shown(before) + " -> " + Shown(after));
        const std::string oldSection = before.substr(old.start, old.end - old.start);
        const std::string newSection = after.substr(prefix.size(), after.size() - prefix.size() - suffix.size());
        FUZZ_CHECK(Lines(oldSection, key, false) == Lines(newSection, key, false),
                   "other lines of the section changed: " + Shown(oldSection) + " -> " + Shown(newSection));
        // Every line of the key now holds the new value, the key written as given.
        const std::vector<std::string> keyLines = Lines(newSection, key, true);
        const std::size_t oldCount = Lines(oldSection, key, true).size();
        FUZZ_CHECK(keyLines.size() == (oldCount == 0 ? 1 : oldCount), "key lines added or lost: " + Shown(newSection));
        for (const auto& line : keyLines)
            FUZZ_CHECK(line == key + "=" + expected, "a line of the key was not replaced: " + Shown(newSection));
    } else {
        FUZZ_CHECK(after.compare(0, before.size(), before) == 0,
                   "a new section changed the text before it: " + Shown(before) + " -> " + Shown(after));
    }

    // The same write again finds the key and changes nothing.
    orv::WriteIniValue(p.ctx, section, key, value, file);
    FUZZ_CHECK(p.files.Content(path) == after, "second identical write changed " + Shown(after) + " to " +
                                                    Shown(p.files.Content(path)));

    // A write that fails part of the way leaves the file as it was and nothing beside it.
    switch (flags >> 5) {
    case 0: p.files.writeBudget = p.files.bytesWritten + budget; break;
    case 1: p.files.failClose = true; break;
    case 2: p.files.failReplace.insert(orv::fakes::NormalizePath(path)); break;
    case 3: p.files.SetReadOnly(path); break;
    // Held open by another program: the file is there but cannot be read, and must not be
    // rebuilt from nothing.
    case 4: p.files.failRead.insert(orv::fakes::NormalizePath(path)); break;
    default: break;
    }
    bool failed = false;
    try {
        orv::WriteIniValue(p.ctx, section, key, secondText, file);
    } catch (const orv::AgentError&) {
        failed = true;
    }
    FUZZ_CHECK(!HasTemporaryFile(p.files), "temporary file left after a failed write");
    const orv::Variant last = orv::ReadIniValue(p.ctx, section, key, missing, file);
    if ((flags >> 5) == 4) FUZZ_CHECK(failed, "a file that could not be read was written");
    if (failed) {
        FUZZ_CHECK(p.files.Content(path) == after, "failed write changed the file");
    } else {
        FUZZ_CHECK(last.IsText() && last.Get<std::string>() == secondText, "second value not read back");
    }
    return 0;
}
