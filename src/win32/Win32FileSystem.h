// File system service on kernel32's file functions.
#pragma once
#include "platform/FileSystem.h"

namespace orv::win32 {

class Win32FileSystem : public platform::FileSystem {
public:
    bool FileExists(const std::string& path) override;
    std::string FullPathName(const std::string& path) override;
    std::string WindowsFolder() override;
    std::string ReadAllText(const std::string& path, std::uint64_t maxBytes) override;
    std::unique_ptr<platform::File> OpenRead(const std::string& path) override;
    std::unique_ptr<platform::File> CreateNew(const std::string& path, platform::Durability durability) override;
    void ReplaceFile(const std::string& source, const std::string& destination) override;
    void RemoveFile(const std::string& path) noexcept override;
    std::vector<platform::FoundFile> FindFiles(const std::string& folder, const std::string& prefix) override;
};

// A file object over a handle opened elsewhere, which it now owns (OpenRead and CreateNew make
// theirs this way): a handle opened for writing when `writing` (flushed to the disk at Close when
// `flushed`), else for reading.
std::unique_ptr<platform::File> AdoptFileHandle(void* handle, bool writing, bool flushed = true);

} // namespace orv::win32
