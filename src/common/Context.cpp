#include "common/Context.h"

#include <utility>

namespace orv {

AgentContext::AgentContext(platform::Platform& p, RuntimeSource source, ControlSource controlSource)
    : platform(p), runtime(std::move(source)), control(std::move(controlSource)) {}
AgentContext::~AgentContext() = default;

} // namespace orv
