// The update-copy benchmark: the agent's CopyFile on the real Windows file system against the
// system's own CopyFileA followed by a flush of the new file to the disk (the durability that the
// agent gives a copy before it replaces the old file), on the same source, in turn, several
// rounds. CopyFileA alone is measured beside them.
//
//   copy_bench.exe SOURCE FOLDER ROUNDS
//
// Prints each run, then per copy the median time and throughput, and the ratio of the agent's
// throughput to that of CopyFileA and a flush.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "agent/Agent.h"
#include "win32/Win32Api.h"
#include "win32/Win32Platform.h"
#include "util/Files.h"

namespace {

// A box would stop an unattended run: a failed copy is printed instead, and the run fails.
class PrintedMessageBox : public orv::platform::MessageBox {
public:
    std::int32_t Show(const std::string& text, const std::string& title, std::int32_t) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        return 1;
    }
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long long SizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool FlushFile(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool flushed = ::FlushFileBuffers(file) != FALSE;
    ::CloseHandle(file);
    return flushed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: copy_bench SOURCE FOLDER ROUNDS\n");
        return 2;
    }
    const std::string source = argv[1];
    const std::string folder = argv[2];
    const int rounds = std::max(1, std::atoi(argv[3]));
    const long long size = SizeOf(source);
    if (size <= 0) {
        std::fprintf(stderr, "copy_bench: no source %s\n", source.c_str());
        return 2;
    }

    orv::win32::Win32Services<PrintedMessageBox> services;
    orv::AgentContext ctx(services.platform);

    const std::string system = folder + "\\copyfilea.bin";
    const std::string flushed = folder + "\\copyfilea-flush.bin";
    const std::string agent = folder + "\\agent.bin";
    std::vector<double> systemMs, flushedMs, agentMs;
    for (int round = 1; round <= rounds; ++round) {
        // The order changes every round, so neither copy always finds the cache as the other
        // left it.
        for (int step = 0; step < 3; ++step) {
            const int which = (step + round) % 3;
            LARGE_INTEGER start, end;
            bool ok = false;
            std::string target;
            ::QueryPerformanceCounter(&start);
            if (which == 0) {
                target = system;
                ok = ::CopyFileA(source.c_str(), target.c_str(), FALSE) != FALSE;
            } else if (which == 1) {
                target = flushed;
                ok = ::CopyFileA(source.c_str(), target.c_str(), FALSE) != FALSE && FlushFile(target);
            } else {
                target = agent;
                ok = orv::CopyFile(ctx, source, target);
            }
            ::QueryPerformanceCounter(&end);
            const double ms = Milliseconds(start, end);
            if (!ok || SizeOf(target) != size) {
                std::fprintf(stderr, "copy_bench: copy to %s failed\n", target.c_str());
                return 1;
            }
            const char* name = which == 0 ? "CopyFileA" : which == 1 ? "CopyFileA+flush" : "orv::CopyFile";
            std::printf("round %d %s ms=%.1f\n", round, name, ms);
            std::fflush(stdout);
            (which == 0 ? systemMs : which == 1 ? flushedMs : agentMs).push_back(ms);
            ::DeleteFileA(target.c_str());
        }
    }
    const double mb = static_cast<double>(size) / (1024.0 * 1024.0);
    const double s = Median(systemMs), f = Median(flushedMs), a = Median(agentMs);
    std::printf("median CopyFileA ms=%.1f MBps=%.1f\n", s, mb * 1000.0 / s);
    std::printf("median CopyFileA+flush ms=%.1f MBps=%.1f\n", f, mb * 1000.0 / f);
    std::printf("median orv::CopyFile ms=%.1f MBps=%.1f\n", a, mb * 1000.0 / a);
    std::printf("ratio %.3f\n", f / a);
    return 0;
}
