#include "fakes/FakeFileSystem.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/Error.h"
#include "util/Array.h"

namespace orv::fakes {

std::string NormalizePath(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '\\' && !out.empty() && out.back() == '\\' && i > 1) continue;
        out.push_back(c);
    }
    return ToLowerAscii(out);
}

std::string ParentFolder(const std::string& path) {
    const std::string n = NormalizePath(path);
    const auto p = n.find_last_of('\\');
    if (p == std::string::npos) return {};
    std::string parent = n.substr(0, p);
    if (parent.size() == 2 && parent[1] == ':') parent += '\\';  // a drive's root
    return parent;
}

namespace {

class FakeReadFile : public platform::File {
public:
    FakeReadFile(FakeFileSystem& fs, std::vector<std::uint8_t> data) : fs_(fs), data_(std::move(data)) {}
    std::uint64_t Length() override { return data_.size(); }
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        fs_.readSizes.push_back(count);
        const std::size_t n = std::min(count, data_.size() - pos_);
        if (fs_.readBudget && pos_ + n > *fs_.readBudget) throw AgentError(err::kDeviceIoError, "Device I/O error");
        std::memcpy(buffer, data_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    void Write(const std::uint8_t*, std::size_t) override {
        throw AgentError(err::kPathFileAccess, "Path/File access error");
    }
    void Close() override {}

private:
    FakeFileSystem& fs_;
    std::vector<std::uint8_t> data_;
    std::size_t pos_ = 0;
};

class FakeWriteFile : public platform::File {
public:
    FakeWriteFile(FakeFileSystem& fs, std::string key) : fs_(fs), key_(std::move(key)) {}
    std::uint64_t Length() override { return Data().size(); }
    std::size_t Read(std::uint8_t*, std::size_t) override {
        throw AgentError(err::kPathFileAccess, "Path/File access error");
    }
    void Write(const std::uint8_t* data, std::size_t count) override {
        fs_.writeSizes.push_back(count);
        std::size_t n = count;
        bool full = false;
        if (fs_.writeBudget && fs_.bytesWritten + count > *fs_.writeBudget) {
            n = static_cast<std::size_t>(*fs_.writeBudget - fs_.bytesWritten);
            full = true;
        }
        auto& d = Data();
        d.insert(d.end(), data, data + n);
        fs_.bytesWritten += n;
        if (full) throw AgentError(err::kDiskFull, "Disk full");
    }
    void Close() override {
        if (fs_.failClose) throw AgentError(err::kDiskFull, "Disk full");
    }

private:
    std::vector<std::uint8_t>& Data() { return fs_.files.at(key_).data; }
    FakeFileSystem& fs_;
    std::string key_;
};

} // namespace

void FakeFileSystem::AddFolder(const std::string& path) {
    std::string n = NormalizePath(path);
    while (!n.empty() && n.back() == '\\' && !(n.size() == 3 && n[1] == ':')) n.pop_back();
    while (!n.empty()) {
        folders.insert(n);
        const std::string parent = ParentFolder(n);
        if (parent == n) break;
        n = parent;
    }
}

void FakeFileSystem::AddFile(const std::string& path, const std::string& content) {
    AddFile(path, std::vector<std::uint8_t>(content.begin(), content.end()));
}

void FakeFileSystem::AddFile(const std::string& path, std::vector<std::uint8_t> content) {
    AddFolder(ParentFolder(path));
    files[NormalizePath(path)] = Entry{path, std::move(content), false};
}

bool FakeFileSystem::HasFile(const std::string& path) const { return files.count(NormalizePath(path)) != 0; }

std::string FakeFileSystem::Content(const std::string& path) const {
    const auto& d = files.at(NormalizePath(path)).data;
    return std::string(d.begin(), d.end());
}

std::vector<std::string> FakeFileSystem::AllFiles() const {
    std::vector<std::string> out;
    for (const auto& [key, entry] : files) out.push_back(entry.name);
    return out;
}

void FakeFileSystem::SetReadOnly(const std::string& path, bool readOnly) {
    files.at(NormalizePath(path)).readOnly = readOnly;
}

void FakeFileSystem::SetAge(const std::string& path, std::int64_t seconds) {
    files.at(NormalizePath(path)).ageSeconds = seconds;
}

bool FakeFileSystem::FileExists(const std::string& path) { return HasFile(path); }

std::string FakeFileSystem::FullPathName(const std::string& path) {
    std::string text = path;
    std::replace(text.begin(), text.end(), '/', '\\');
    // The root that ".." cannot climb above: "C:\" or "\\server\share\".
    std::size_t rootLength = 0;
    if (text.size() >= 3 && text[1] == ':' && text[2] == '\\') {
        rootLength = 3;
    } else if (text.rfind("\\\\", 0) == 0) {
        const auto server = text.find('\\', 2);
        const auto share = server == std::string::npos ? std::string::npos : text.find('\\', server + 1);
        rootLength = share == std::string::npos ? text.size() : share + 1;
    } else {
        return {};  // the fake knows no current folder
    }
    std::vector<std::string> parts;
    std::size_t start = rootLength;
    while (start <= text.size()) {
        const auto end = std::min(text.find('\\', start), text.size());
        const std::string part = text.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string full = text.substr(0, rootLength);
    for (std::size_t i = 0; i < parts.size(); ++i) full += (i ? "\\" : "") + parts[i];
    if (!full.empty() && full.back() == '\\' && full.size() > rootLength) full.pop_back();
    return full;
}

std::string FakeFileSystem::ReadAllText(const std::string& path, std::uint64_t maxBytes) {
    const std::string n = NormalizePath(path);
    if (!files.count(n)) throw AgentError(folders.count(ParentFolder(path)) ? 53 : 76,
                                           folders.count(ParentFolder(path)) ? "File not found" : "Path not found");
    if (failRead.count(n)) throw AgentError(err::kPermissionDenied, "Permission denied");
    if (files.at(n).data.size() > maxBytes) throw AgentError::FileTooLarge(maxBytes);
    return Content(path);
}

std::unique_ptr<platform::File> FakeFileSystem::OpenRead(const std::string& path) {
    if (onOpenRead) onOpenRead(path);
    const std::string n = NormalizePath(path);
    if (!files.count(n)) {
        if (folders.count(n)) throw AgentError(err::kPathFileAccess, "Path/File access error");
        if (!folders.count(ParentFolder(path))) throw AgentError(err::kPathNotFound, "Path not found");
        throw AgentError(err::kFileNotFound, "File not found");
    }
    if (failRead.count(n)) throw AgentError(err::kPermissionDenied, "Permission denied");
    journal_.push_back("read " + path);
    return std::make_unique<FakeReadFile>(*this, files.at(n).data);
}

std::unique_ptr<platform::File> FakeFileSystem::CreateNew(const std::string& path, platform::Durability durability) {
    const std::string n = NormalizePath(path);
    if (!folders.count(ParentFolder(path))) throw AgentError(err::kPathNotFound, "Path not found");
    if (folders.count(n) || failCreate.count(n)) throw AgentError(err::kPermissionDenied, "Permission denied");
    for (const auto& target : failCreateBeside)
        if (n.rfind(target + ".", 0) == 0) throw AgentError(err::kPermissionDenied, "Permission denied");
    if (files.count(n)) throw AgentError(err::kFileAlreadyExists, "File already exists");
    files[n] = Entry{path, {}, false};
    journal_.push_back(std::string(durability == platform::Durability::Flushed ? "create " : "create cached ") + path);
    return std::make_unique<FakeWriteFile>(*this, n);
}

void FakeFileSystem::ReplaceFile(const std::string& source, const std::string& destination) {
    const std::string s = NormalizePath(source), d = NormalizePath(destination);
    if (!files.count(s)) throw AgentError(err::kFileNotFound, "File not found");
    if (failReplace.count(d) || folders.count(d)) throw AgentError(err::kPermissionDenied, "Permission denied");
    auto it = files.find(d);
    if (it != files.end() && it->second.readOnly) throw AgentError(err::kPermissionDenied, "Permission denied");
    Entry moved = files.at(s);
    moved.name = it != files.end() ? it->second.name : destination;
    files.erase(s);
    files[d] = std::move(moved);
    journal_.push_back("replace " + destination);
}

void FakeFileSystem::RemoveFile(const std::string& path) noexcept {
    if (files.erase(NormalizePath(path))) journal_.push_back("remove " + path);
}

std::vector<platform::FoundFile> FakeFileSystem::FindFiles(const std::string& folder, const std::string& prefix) {
    std::vector<platform::FoundFile> found;
    const std::string start = NormalizePath(folder + "\\" + prefix);
    for (const auto& [key, entry] : files)
        if (key.rfind(start, 0) == 0 && ParentFolder(key) == NormalizePath(folder))
            found.push_back({entry.name.substr(entry.name.find_last_of('\\') + 1), entry.ageSeconds});
    return found;
}

} // namespace orv::fakes
