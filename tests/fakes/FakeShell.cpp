#include "fakes/FakeShell.h"

#include <algorithm>

namespace orv::fakes {

std::intptr_t FakeShell::ShellExecute(const std::string& verb, const std::string& file, const std::string& parameters,
                                      std::int32_t show) {
    executed.push_back({verb, file, parameters, show});
    journal_.push_back("shell " + verb + " " + file);
    return executeResult;
}

std::string FakeShell::ShellExecuteErrorText(std::intptr_t result) {
    const auto it = errorTexts.find(result);
    return it == errorTexts.end() ? std::string() : it->second;
}

std::uint32_t FakeShell::StartProcess(const std::string& program, const std::string& commandLine,
                                      std::int32_t show) {
    if (startProcessError) throw *startProcessError;
    started.push_back({program, commandLine, show});
    journal_.push_back("process " + program + " <- " + commandLine);
    return 4242;
}

namespace {
// GetSystemDirectoryA's rules: the length written, or the size needed when it does not fit.
std::uint32_t CopyFolder(const std::string& folder, std::string& buffer) {
    const auto n = static_cast<std::uint32_t>(folder.size());
    if (n + 1 > buffer.size()) return n + 1;
    std::copy(folder.begin(), folder.end(), buffer.begin());
    buffer[n] = '\0';
    return n;
}
} // namespace

std::uint32_t FakeShell::GetSystemDirectory(std::string& buffer) {
    return systemDirectoryFails ? 0 : CopyFolder(systemDirectory, buffer);
}

std::uint32_t FakeShell::GetSystemWow64Directory(std::string& buffer) {
    return systemDirectoryFails || wow64Directory.empty() ? 0 : CopyFolder(wow64Directory, buffer);
}

} // namespace orv::fakes
