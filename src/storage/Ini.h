// Ini module: INI files read as whole texts, searched, and rewritten in full.
#pragma once
#include "agent/Agent.h"

namespace orv {

Variant ReadIniValue(AgentContext& ctx, const Variant& section, const Variant& key, const Variant& defaultValue,
                     const Variant& file);
void WriteIniValue(AgentContext& ctx, const Variant& section, const Variant& key, const Variant& value,
                   const Variant& file);
Variant TextBetween(const Variant& text, const Variant& startMarker, const Variant& endMarker);
// The whole text of the file, or the empty value when it cannot be read.
Variant ReadTextFile(AgentContext& ctx, const Variant& file);
// Replaces the file's content with `text`; errors go to the caller.
void WriteTextFile(AgentContext& ctx, const Variant& file, const Variant& text);

} // namespace orv
