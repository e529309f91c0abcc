#include "common/Context.h"

#include <utility>

namespace orv {

AgentContext::AgentContext(platform::Platform& p, RuntimeSource source) : platform(p), runtime(std::move(source)) {}
AgentContext::~AgentContext() = default;

} // namespace orv
