// Ini module: INI files read as whole texts, searched, and rewritten in full.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "common/Context.h"

namespace orv {

// The value of `key` in `section` as text, or `defaultValue` when the file, section or key is missing.
// Names without a drive or UNC prefix are taken from the Windows folder.
Variant ReadIniValue(AgentContext& ctx, const Variant& section, const Variant& key, const Variant& defaultValue,
                     const Variant& file);
// Sets `key` in `section`, replacing every line of that key, adding a missing key at the end of its
// section, a missing section at the end of the file, and creating a missing file. An existing
// file that cannot be read fails the write (the read's error goes to the caller) and stays as it was.
void WriteIniValue(AgentContext& ctx, const Variant& section, const Variant& key, const Variant& value,
                   const Variant& file);
// Sets several keys of one section, in this order, as as many calls of WriteIniValue would, in one
// rewrite: the file holds either its old text or the new one with every key set, never a part.
using IniValues = std::vector<std::pair<std::string, Variant>>;
void WriteIniValues(AgentContext& ctx, const Variant& section, const IniValues& values, const Variant& file);
// The text after the first `startMarker` up to the next `endMarker` (or CR LF, or the end), letters
// matched without regard to case; the empty value when `startMarker` does not occur.
Variant TextBetween(const Variant& text, const Variant& startMarker, const Variant& endMarker);
// The whole text of the file, or the empty value when it cannot be read or holds more than 4 MB.
Variant ReadTextFile(AgentContext& ctx, const Variant& file);
// Replaces the file's content with `text` through a temporary file beside it, so a failure leaves
// the old content in place; errors go to the caller.
void WriteTextFile(AgentContext& ctx, const Variant& file, const Variant& text);

} // namespace orv
