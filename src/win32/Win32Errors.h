// Windows error codes turned into the agent's error numbers and descriptions.
#pragma once
#include <cstdint>
#include <string>

#include "common/Error.h"

namespace orv::win32 {

// The system's own text for a Windows error code, without the trailing line break; empty when the
// system has none.
std::string SystemErrorText(std::uint32_t code);

// The agent's error for a failed file operation: 53 "File not found", 76 "Path not found",
// 70 "Permission denied", 61 "Disk full"; anything else 75 with the system's text, so that the
// user can still tell what went wrong (a dropped network share, a bad sector, ...).
AgentError FileError(std::uint32_t code);

} // namespace orv::win32
