#include "storage/Ini.h"

// Not built yet: the INI reader and writer arrive with the automatic update.
namespace orv {
Variant ReadIniValue(AgentContext&, const Variant&, const Variant&, const Variant& d, const Variant&) { return d; }
void WriteIniValue(AgentContext&, const Variant&, const Variant&, const Variant&, const Variant&) {}
Variant TextBetween(const Variant&, const Variant&, const Variant&) { return {}; }
Variant ReadTextFile(AgentContext&, const Variant&) { return {}; }
void WriteTextFile(AgentContext&, const Variant&, const Variant&) {}
} // namespace orv
