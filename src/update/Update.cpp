#include "update/Update.h"

// Not built yet: the automatic update arrives with the INI documents; until then nothing is updated.
namespace orv {
bool RunAutomaticUpdate(AgentContext&) { return false; }
} // namespace orv
