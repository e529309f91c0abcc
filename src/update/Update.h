// Update module: bringing the front-end file up to date from the update location.
#pragma once
#include "common/Context.h"

namespace orv {

bool RunAutomaticUpdate(AgentContext& ctx);

} // namespace orv
