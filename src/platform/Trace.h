// The trace of one run, for the benchmarks. It is compiled in only when the build's ORV_TRACE
// option is on: the released program has no trace code, writes no trace and reads nothing to
// decide. Each event is a name (a string literal), an optional number, and the time since the
// process was created; the events are kept in memory and appended to the file that the build
// names when the agent ends, so that recording one costs next to nothing.
#pragma once
#include <cstdint>

#if defined(ORV_TRACE) && ORV_TRACE
namespace orv::trace {
// Records an event; from any thread.
void Event(const char* name, std::int64_t value = -1);
// Records an event whose number is the process's working set, in bytes, as the system counts it.
void Memory(const char* name);
// Appends the events recorded so far to the trace file; called as the process ends.
void Write();
} // namespace orv::trace
#define ORV_TRACE_EVENT(...) ::orv::trace::Event(__VA_ARGS__)
#define ORV_TRACE_MEMORY(name) ::orv::trace::Memory(name)
#define ORV_TRACE_WRITE() ::orv::trace::Write()
#else
#define ORV_TRACE_EVENT(...) static_cast<void>(0)
#define ORV_TRACE_MEMORY(name) static_cast<void>(0)
#define ORV_TRACE_WRITE() static_cast<void>(0)
#endif
