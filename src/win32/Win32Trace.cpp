// The trace of a benchmark build (see platform/Trace.h); nothing of it exists in other builds.
#include "platform/Trace.h"

#if defined(ORV_TRACE) && ORV_TRACE
#include <atomic>
#include <cstdio>
#include <string>

#include "win32/TraceClock.h"
#include "win32/Win32Handles.h"

#include <psapi.h>

namespace orv::trace {
namespace {

struct Entry {
    long long microseconds;
    const char* name;
    std::int64_t value;
};
constexpr int kCapacity = 8192;
Entry g_entries[kCapacity];
std::atomic<int> g_next{0};
std::atomic<int> g_written{0};  // entries [0, g_written) are complete
std::atomic<int> g_flushed{0};

} // namespace

void Event(const char* name, std::int64_t value) {
    const int i = g_next.fetch_add(1);
    if (i >= kCapacity) return;
    g_entries[i] = {orv_trace_microseconds(), name, value};
    // Entries are published in order, so that Write never reads one half made.
    int expected = i;
    while (!g_written.compare_exchange_weak(expected, i + 1)) expected = i;
}

void Memory(const char* name) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters))
        Event(name, static_cast<std::int64_t>(counters.WorkingSetSize));
}

void Write() {
    const int end = g_written.load();
    const int begin = g_flushed.exchange(end);
    if (begin >= end) return;
    std::string text;
    char line[160];
    const unsigned long pid = ::GetCurrentProcessId();
    for (int i = begin; i < end; ++i) {
        const Entry& e = g_entries[i];
        if (e.value >= 0)
            std::snprintf(line, sizeof line, "%lu %lld %s %lld\r\n", pid, e.microseconds, e.name,
                          static_cast<long long>(e.value));
        else
            std::snprintf(line, sizeof line, "%lu %lld %s\r\n", pid, e.microseconds, e.name);
        text += line;
    }
    // Appended: the runs of one benchmark share the file.
    const win32::UniqueFileHandle file(::CreateFileA(ORV_TRACE_FILE, FILE_APPEND_DATA,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

} // namespace orv::trace
#endif
