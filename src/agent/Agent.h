// Agent module: the start procedure and the front-end launch.
#pragma once
#include "common/Context.h"

namespace orv {

// The start procedure; handles no errors itself.
void Main(AgentContext& ctx);
void LoadSettings(AgentContext& ctx);
void CheckComponents(AgentContext& ctx);
// Removes what runs killed while they wrote left beside the files the agent keeps in its folder
// (the front-end, config.ini, the runtime's cabinet), once it is stale; every run does this first,
// so a leftover goes with the first run after it has aged, whether or not that run writes.
void RemoveLeftovers(AgentContext& ctx);

Variant GetInstallFolder(AgentContext& ctx);
// Opens the front-end and ends the agent (exit code 1 when the shell would not open it, after
// its box), or reports a missing front-end and returns.
void LaunchFrontEnd(AgentContext& ctx);

// Runs Main and reports an error that escapes it with ReportUnhandledError. Returns false when
// such an error ended the run.
bool RunMain(AgentContext& ctx);

} // namespace orv
