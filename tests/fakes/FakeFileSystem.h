#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fakes/FakeSupport.h"
#include "platform/FileSystem.h"

namespace orv::fakes {

// Lower case, "/" kept, runs of "\" collapsed (but a leading "\\" kept), as Windows resolves them.
std::string NormalizePath(const std::string& path);
std::string ParentFolder(const std::string& path);

class FakeFileSystem : public platform::FileSystem {
public:
    explicit FakeFileSystem(Journal& journal) : journal_(journal) {}
    void AddFolder(const std::string& path);  // and its parents
    void AddFile(const std::string& path, const std::string& content);  // creates the folders
    void AddFile(const std::string& path, std::vector<std::uint8_t> content);
    bool HasFile(const std::string& path) const;
    std::string Content(const std::string& path) const;  // throws std::out_of_range when missing
    // Every file path that exists (as given when created), for checks that nothing was left behind.
    std::vector<std::string> AllFiles() const;
    void SetReadOnly(const std::string& path, bool readOnly = true);
    // How long ago the file was last written, as FindFiles reports it (files are new otherwise).
    void SetAge(const std::string& path, std::int64_t seconds);

    bool FileExists(const std::string& path) override;
    // "/" read as "\\", "." and ".." resolved and doubled separators folded, as Windows does.
    std::string FullPathName(const std::string& path) override;
    std::string WindowsFolder() override { return windowsFolder; }
    std::string ReadAllText(const std::string& path, std::uint64_t maxBytes) override;
    std::unique_ptr<platform::File> OpenRead(const std::string& path) override;
    std::unique_ptr<platform::File> CreateNew(const std::string& path, platform::Durability durability) override;
    void ReplaceFile(const std::string& source, const std::string& destination) override;
    void RemoveFile(const std::string& path) noexcept override;
    std::vector<platform::FoundFile> FindFiles(const std::string& folder, const std::string& prefix) override;

    std::string windowsFolder = "C:\\WINDOWS";
    // Fault injection. A write that would take the bytes written (over all files) past this
    // budget throws 61 "Disk full" after writing what fits.
    std::optional<std::uint64_t> writeBudget;
    // Reading more than this many bytes from one opened file throws 57 "Device I/O error".
    std::optional<std::uint64_t> readBudget;
    // Normalized paths of files that are there but cannot be read (held open without read
    // sharing by another program): ReadAllText and OpenRead throw 70.
    std::set<std::string> failRead;
    std::set<std::string> failCreate;   // normalized paths whose CreateNew throws 70
    // Normalized targets beside which no file can be created (CreateNew throws 70).
    std::set<std::string> failCreateBeside;
    std::set<std::string> failReplace;  // normalized destinations whose ReplaceFile throws 70
    bool failClose = false;             // Close of a written file throws 61
    // Runs at the start of every OpenRead, so a test can change a file between two opens as
    // another program could.
    std::function<void(const std::string& path)> onOpenRead;
    std::uint64_t bytesWritten = 0;
    std::vector<std::size_t> readSizes, writeSizes;  // sizes asked of each Read and Write

    struct Entry {
        std::string name;  // as first given
        std::vector<std::uint8_t> data;
        bool readOnly = false;
        std::int64_t ageSeconds = 0;
    };
    std::map<std::string, Entry> files;
    std::set<std::string> folders;
    Journal& journal_;
};

} // namespace orv::fakes
