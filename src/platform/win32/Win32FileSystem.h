// File system service on kernel32's file functions.
#pragma once
#include "platform/FileSystem.h"

namespace orv::win32 {

class Win32FileSystem : public platform::FileSystem {
public:
    bool FileExists(const std::string& path) override;
    std::string WindowsFolder() override;
    std::string ReadAllText(const std::string& path) override;
    std::unique_ptr<platform::File> OpenRead(const std::string& path) override;
    std::unique_ptr<platform::File> CreateWrite(const std::string& path) override;
    void ReplaceFile(const std::string& source, const std::string& destination) override;
    void RemoveFile(const std::string& path) noexcept override;
};

} // namespace orv::win32
