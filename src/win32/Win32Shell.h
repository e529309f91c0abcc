// Shell service: shell32's "open", hidden processes, the system folder.
#pragma once
#include "platform/Shell.h"

namespace orv::win32 {

class Win32Shell : public platform::Shell {
public:
    std::intptr_t ShellExecute(const std::string& verb, const std::string& file, const std::string& parameters,
                               std::int32_t show) override;
    std::string ShellExecuteErrorText(std::intptr_t result) override;
    std::uint32_t StartProcess(const std::string& program, const std::string& commandLine,
                               std::int32_t show) override;
    std::uint32_t GetSystemDirectory(std::string& buffer) override;
    std::uint32_t GetSystemWow64Directory(std::string& buffer) override;
};

} // namespace orv::win32
