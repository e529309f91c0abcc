// Shell service: opening files through their association, starting hidden processes, and the
// system folder.
#pragma once
#include <cstdint>
#include <string>

namespace orv::platform {

inline constexpr std::int32_t kSwHide = 0;
inline constexpr std::int32_t kSwShowNormal = 1;

class Shell {
public:
    virtual ~Shell() = default;
    // ShellExecuteA(0, verb, file, parameters, null directory, show): > 32 on success.
    virtual std::intptr_t ShellExecute(const std::string& verb, const std::string& file,
                                       const std::string& parameters, std::int32_t show) = 0;
    // The system's own message for a failed ShellExecute (a result of 32 or less), such as the
    // one for a file type that no program is associated with; empty when the system has none.
    virtual std::string ShellExecuteErrorText(std::intptr_t result) = 0;
    // Starts the program at the full path `program` (nothing is searched for) with the command
    // line `commandLine`, as a new process with the window style `show`, without waiting.
    // Returns its process id (0 when none was started); throws AgentError when the program
    // cannot be found or started.
    virtual std::uint32_t StartProcess(const std::string& program, const std::string& commandLine,
                                       std::int32_t show) = 0;
    // GetSystemDirectoryA(buffer.data(), buffer.size()): the length written, 0 on failure, more
    // than the buffer's size when it is too small (then nothing is written).
    virtual std::uint32_t GetSystemDirectory(std::string& buffer) = 0;
    // GetSystemWow64DirectoryA, the 32-bit system folder of 64-bit Windows, with the same rules;
    // 0 on 32-bit Windows, which has no such folder.
    virtual std::uint32_t GetSystemWow64Directory(std::string& buffer) = 0;
};

} // namespace orv::platform
