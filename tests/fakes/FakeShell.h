#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "fakes/FakeSupport.h"
#include "platform/Shell.h"

namespace orv::fakes {

class FakeShell : public platform::Shell {
public:
    explicit FakeShell(Journal& journal) : journal_(journal) {}
    std::intptr_t ShellExecute(const std::string& verb, const std::string& file, const std::string& parameters,
                               std::int32_t show) override;
    std::string ShellExecuteErrorText(std::intptr_t result) override;
    std::uint32_t StartProcess(const std::string& program, const std::string& commandLine,
                               std::int32_t show) override;
    std::uint32_t GetSystemDirectory(std::string& buffer) override;
    std::uint32_t GetSystemWow64Directory(std::string& buffer) override;

    struct Execute {
        std::string verb, file, parameters;
        std::int32_t show;
    };
    struct Started {
        std::string program, commandLine;
        std::int32_t show;
    };
    std::vector<Execute> executed;
    // What ShellExecute answers (above 32: the file was handed over), and the system's messages
    // for the failures it knows.
    std::intptr_t executeResult = 42;
    std::map<std::intptr_t, std::string> errorTexts = {
        {31, "No application is associated with the specified file for this operation."},
        {5, "Access denied."},
    };
    std::vector<Started> started;
    // A 64-bit Windows: the 32-bit system folder is kept apart from the native one. An empty
    // wow64Directory is a 32-bit Windows, which has none.
    std::string systemDirectory = "C:\\WINDOWS\\system32";
    std::string wow64Directory = "C:\\WINDOWS\\SysWOW64";
    bool systemDirectoryFails = false;
    std::optional<AgentError> startProcessError;  // thrown by StartProcess when set

private:
    Journal& journal_;
};

} // namespace orv::fakes
