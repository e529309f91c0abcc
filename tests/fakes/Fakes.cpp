#include "fakes/Fakes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "util/Array.h"

namespace orv::fakes {

// ---------------------------------------------------------------- paths

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

// ---------------------------------------------------------------- registry

namespace {
// HKEY_LOCAL_MACHINE is seen in two views on 64-bit Windows; the other roots are shared.
enum class View { Shared, Bits32, Bits64 };
std::string KeyName(std::uint32_t root, const std::string& path, View view) {
    const char* tag = view == View::Bits32 ? "/32" : view == View::Bits64 ? "/64" : "";
    return std::to_string(root) + tag + "|" + ToLowerAscii(path);
}
std::string KeyName(std::uint32_t root, const std::string& path) {
    return KeyName(root, path, root == platform::kHkeyLocalMachine ? View::Bits32 : View::Shared);
}
} // namespace

void FakeRegistry::SetKey(std::uint32_t root, const std::string& path) { keys_[KeyName(root, path)]; }

void FakeRegistry::SetValue(std::uint32_t root, const std::string& path, const std::string& name, std::uint32_t type,
                            std::vector<std::uint8_t> data) {
    keys_[KeyName(root, path)].values[ToLowerAscii(name)] = Value{type, std::move(data)};
}

void FakeRegistry::SetStringIn64BitView(std::uint32_t root, const std::string& path, const std::string& name,
                                        const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    keys_[KeyName(root, path, View::Bits64)].values[ToLowerAscii(name)] = Value{platform::kRegSz, std::move(data)};
}

void FakeRegistry::SetString(std::uint32_t root, const std::string& path, const std::string& name,
                             const std::string& text, std::uint32_t type) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    SetValue(root, path, name, type, std::move(data));
}

void FakeRegistry::SetDword(std::uint32_t root, const std::string& path, const std::string& name, std::uint32_t v) {
    SetValue(root, path, name, platform::kRegDword,
             {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
              static_cast<std::uint8_t>(v >> 24)});
}

void FakeRegistry::DenyAccess(std::uint32_t root, const std::string& path) { keys_[KeyName(root, path)].denied = true; }

std::int32_t FakeRegistry::OpenKey(std::uint32_t root, const std::string& subKey, std::uint32_t access,
                                   platform::RegKey& key) {
    accessMasks.push_back(access);
    View view = View::Shared;
    if (root == platform::kHkeyLocalMachine) view = (access & platform::kKeyWow64_32Key) ? View::Bits32 : View::Bits64;
    auto it = keys_.find(KeyName(root, subKey, view));
    if (it == keys_.end()) return platform::kErrorFileNotFound;
    if (it->second.denied) return platform::kErrorAccessDenied;
    key = next_++;
    handles_[key] = it->first;
    openKeys.insert(key);
    ++opens;
    return 0;
}

std::int32_t FakeRegistry::QueryValue(platform::RegKey key, const std::string& name, std::uint32_t& type,
                                      std::uint8_t* data, std::uint32_t& size) {
    ++queries;
    querySizes.push_back(size);
    if (onQuery) onQuery(queries);
    auto h = handles_.find(key);
    if (h == handles_.end() || !openKeys.count(key)) return 6;  // ERROR_INVALID_HANDLE
    const Key& k = keys_.at(h->second);
    auto v = k.values.find(ToLowerAscii(name));
    if (v == k.values.end()) return platform::kErrorFileNotFound;
    const auto needed = static_cast<std::uint32_t>(v->second.data.size());
    if (data == nullptr) {  // Windows: only the size and type are asked for
        size = needed;
        type = v->second.type;
        return 0;
    }
    if (size < needed) {
        size = needed;
        type = v->second.type;
        return platform::kErrorMoreData;
    }
    std::copy(v->second.data.begin(), v->second.data.end(), data);
    size = needed;
    type = v->second.type;
    return 0;
}

std::int32_t FakeRegistry::CloseKey(platform::RegKey key) {
    ++closes;
    if (!openKeys.erase(key)) {
        ++badCloses;
        return 6;
    }
    return 0;
}

// ---------------------------------------------------------------- profile

namespace {
std::string TrimBlanks(const std::string& s) {
    const auto a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    const auto b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

std::optional<std::string> LookUpIni(const std::string& text, const std::string& section, const std::string& key) {
    bool inSection = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = TrimBlanks(line);
        if (!line.empty() && line.front() == '[') {
            const auto close = line.find(']');
            inSection = close != std::string::npos && ToLowerAscii(TrimBlanks(line.substr(1, close - 1))) ==
                                                          ToLowerAscii(section);
        } else if (inSection) {
            const auto eq = line.find('=');
            if (eq != std::string::npos && ToLowerAscii(TrimBlanks(line.substr(0, eq))) == ToLowerAscii(key))
                return TrimBlanks(line.substr(eq + 1));
        }
        start = end + 1;
    }
    return std::nullopt;
}
} // namespace

std::string FakeProfile::GetPrivateProfileString(const std::string& section, const std::string& key,
                                                 const std::string& defaultText, std::uint32_t bufferSize,
                                                 const std::string& file) {
    calls.push_back("GetPrivateProfileString " + section + "|" + key + "|" + file);
    std::string result = defaultText;
    if (files_.HasFile(file)) {
        if (auto v = LookUpIni(files_.Content(file), section, key)) result = *v;
    }
    if (bufferSize == 0) return {};
    if (result.size() > bufferSize - 1) result.resize(bufferSize - 1);
    return result;
}

std::int32_t FakeProfile::GetPrivateProfileInt(const std::string& section, const std::string& key,
                                               std::int32_t defaultValue, const std::string& file) {
    calls.push_back("GetPrivateProfileInt " + section + "|" + key + "|" + file);
    if (!files_.HasFile(file)) return defaultValue;
    auto v = LookUpIni(files_.Content(file), section, key);
    if (!v) return defaultValue;
    return static_cast<std::int32_t>(std::strtol(v->c_str(), nullptr, 10));
}

bool FakeProfile::FindNormalFile(const std::string& name) {
    calls.push_back("FindNormalFile " + name);
    if (name.find('|') != std::string::npos || name.find('"') != std::string::npos)
        throw AgentError::BadFileNameOrNumber();
    return files_.HasFile(name);
}

// ---------------------------------------------------------------- shell

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

// ---------------------------------------------------------------- message box

std::int32_t FakeMessageBox::Show(const std::string& text, const std::string& title, std::int32_t style) {
    Box box{text, title, style};
    shown.push_back(box);
    journal_.push_back("box " + title);
    if (onShow) onShow(box);
    if ((style & 0xF) == platform::kMbYesNo) {
        if (answers.empty()) return platform::kIdNo;
        const auto a = answers.front();
        answers.pop_front();
        return a;
    }
    return platform::kIdOk;
}

// ---------------------------------------------------------------- file system

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

// ---------------------------------------------------------------- clock

float FakeClock::SecondsSinceMidnight() {
    if (!secondsQueue.empty()) {
        seconds = secondsQueue.front();
        secondsQueue.pop_front();
    }
    return seconds;
}

void FakeClock::Sleep(std::uint32_t milliseconds) {
    sleeps.push_back(milliseconds);
    journal_.push_back("sleep " + std::to_string(milliseconds));
    if (onSleep) onSleep(milliseconds);
}

// ---------------------------------------------------------------- locale

std::optional<double> FakeLocale::ParseNumber(const std::string& text) const {
    std::string t = TrimBlanks(text);
    if (t.empty()) return std::nullopt;
    std::string plain;  // in C form, for strtod
    std::size_t i = 0;
    if (t[i] == '+' || t[i] == '-') plain.push_back(t[i++]);
    bool digits = false, decimal = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            plain.push_back(c);
            digits = true;
        } else if (c == Decimal() && !decimal) {
            plain.push_back('.');
            decimal = true;
        } else if (c == Thousands() && !decimal && digits) {
            continue;
        } else if ((c == 'e' || c == 'E') && digits) {
            plain.push_back('e');
            std::size_t j = i + 1;
            if (j < t.size() && (t[j] == '+' || t[j] == '-')) plain.push_back(t[j++]);
            if (j >= t.size()) return std::nullopt;
            for (; j < t.size(); ++j) {
                if (t[j] < '0' || t[j] > '9') return std::nullopt;
                plain.push_back(t[j]);
            }
            i = t.size();
            break;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    const double v = std::strtod(plain.c_str(), nullptr);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

std::string FakeLocale::FormatNumber(double value) const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    std::string s = buf;
    if (s == "-0") s = "0";
    for (char& c : s)
        if (c == '.') c = Decimal();
    return s;
}

std::string FakeLocale::FormatGeneralDate(double oleDate) const {
    double whole = std::floor(oleDate);
    long long secs = std::llround((oleDate - whole) * 86400.0);
    if (secs == 86400) {
        whole += 1;
        secs = 0;
    }
    // Civil date from days since 1899-12-30 (days-from-civil algorithm).
    long long z = static_cast<long long>(whole) - 25569 + 719468;  // to days since 0000-03-01
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
    const long long h = secs / 3600, mi = (secs / 60) % 60, s = secs % 60;
    char buf[160];
    if (kind == Kind::EnUs) {
        const long long h12 = h % 12 == 0 ? 12 : h % 12;
        std::snprintf(buf, sizeof buf, "%lld/%lld/%lld %lld:%02lld:%02lld %s", m, d, y, h12, mi, s,
                      h < 12 ? "AM" : "PM");
    } else {
        std::snprintf(buf, sizeof buf, "%02lld.%02lld.%04lld %02lld:%02lld:%02lld", d, m, y, h, mi, s);
    }
    return buf;
}

std::string FakeLocale::FormatFixed2Grouped(double value) const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", std::fabs(value));
    std::string s = buf;
    const auto dot = s.find('.');
    std::string integer = s.substr(0, dot), grouped;
    for (std::size_t i = 0; i < integer.size(); ++i) {
        if (i > 0 && (integer.size() - i) % 3 == 0) grouped.push_back(Thousands());
        grouped.push_back(integer[i]);
    }
    const bool negative = value < 0 && s.find_first_not_of("0.") != std::string::npos;
    return (negative ? "-" : "") + grouped + Decimal() + s.substr(dot + 1);
}

// ---------------------------------------------------------------- process

platform::Sha256Digest FakeHash::Sha256(std::span<const platform::ByteSpan> pieces) {
    ++calls;
    if (error) throw *error;
    // Four FNV-1a sums with different starting values, with the length mixed in: the pieces
    // count as the one text they make.
    std::size_t size = 0;
    for (const auto piece : pieces) size += piece.size();
    platform::Sha256Digest digest{};
    for (std::size_t lane = 0; lane < 4; ++lane) {
        std::uint64_t h = 0xcbf29ce484222325ull + lane * 0x9e3779b97f4a7c15ull + size;
        for (const auto piece : pieces)
            for (const std::uint8_t byte : piece) h = (h ^ byte) * 0x100000001b3ull;
        for (std::size_t b = 0; b < 8; ++b) digest[lane * 8 + b] = static_cast<std::uint8_t>(h >> (8 * b));
    }
    return digest;
}

std::string HexOf(const platform::Sha256Digest& digest) {
    static const char* const kDigits = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t b : digest) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

std::uint32_t FakeProcess::RandomNumber() {
    if (!randomNumbers.empty()) {
        const std::uint32_t n = randomNumbers.front();
        randomNumbers.pop_front();
        return n;
    }
    return nextRandom++;
}

void FakeProcess::EndNow(std::uint32_t code) {
    ended = true;
    exitCode = code;
    journal_.push_back("end");
    throw ProcessEnded{};
}

// ---------------------------------------------------------------- windows

FakeDownloadWindow::~FakeDownloadWindow() {
    if (owner.downloadWindow == this) owner.downloadWindow = nullptr;
}

void FakeDownloadWindow::Show() {
    visible = true;
    owner.journal.push_back("download window shown");
}

void FakeDownloadWindow::SetStatus(const std::string& text) {
    status = text;
    statusHistory.push_back(text);
    owner.journal.push_back("status " + text);
}

void FakeDownloadWindow::SetProgressValue(float value) {
    progressValue = value;
    highestProgress = std::max(highestProgress, value);
}

void FakeDownloadWindow::Destroy() {
    visible = false;
    destroyed = true;
    if (owner.downloadWindow == this) owner.downloadWindow = nullptr;
    owner.journal.push_back("download window destroyed");
}

FakeUpdateWindow::~FakeUpdateWindow() {
    if (owner.updateWindow == this) owner.updateWindow = nullptr;
}

void FakeUpdateWindow::Show() {
    visible = true;
    owner.journal.push_back("update window shown");
}

void FakeUpdateWindow::Refresh() {
    if (visible) painted = true;
    owner.journal.push_back("update window painted");
}

void FakeUpdateWindow::Destroy() {
    visible = false;
    destroyed = true;
    if (owner.updateWindow == this) owner.updateWindow = nullptr;
    owner.journal.push_back("update window destroyed");
}

std::unique_ptr<platform::DownloadWindowView> FakeWindowToolkit::CreateDownloadWindow(
    platform::DownloadWindowEvents& events) {
    auto w = std::make_unique<FakeDownloadWindow>(*this, events);
    downloadWindow = w.get();
    ++downloadWindowsCreated;
    journal.push_back("download window created");
    return w;
}

std::unique_ptr<platform::UpdateWindowView> FakeWindowToolkit::CreateUpdateWindow() {
    auto w = std::make_unique<FakeUpdateWindow>(*this);
    updateWindow = w.get();
    ++updateWindowsCreated;
    journal.push_back("update window created");
    return w;
}

void FakeWindowToolkit::DoEvents() {
    ++doEventsCalls;
    if (onDoEvents) onDoEvents(doEventsCalls);
    // Only what was queued before this call runs now; what the events queue runs next time.
    std::deque<std::function<void()>> now;
    now.swap(queue);
    while (!now.empty()) {
        auto event = std::move(now.front());
        now.pop_front();
        event();
    }
}

// ---------------------------------------------------------------- transfer

FakeTransferControl::~FakeTransferControl() {
    if (owner.control == this) owner.control = nullptr;
}

void FakeTransferControl::Execute(const std::string& u, const std::string& op) {
    url = u;
    operation = op;
    owner.journal.push_back("execute " + op + " " + u);
    if (!owner.windows) return;
    // The states arrive later, through the window's event loop, as the real control's do.
    for (const std::int16_t state : owner.statesOnExecute) {
        FakeTransferFactory* factory = &owner;
        owner.windows->Post([factory, state] {
            if (factory->control) factory->control->events.OnTransferStateChanged(state);
        });
    }
}

bool FakeTransferControl::StillExecuting() {
    ++stillExecutingPolls;
    return stillExecutingPolls <= owner.busyPolls;
}

std::size_t FakeTransferControl::GetChunk(std::size_t size, platform::BodyBlock& block) {
    chunkSizes.push_back(size);
    block.reset();
    constexpr std::size_t B = platform::kBodyBlockSize;
    const std::size_t n = std::min({size, owner.body.size() - offset, B - offset % B});
    if (n > 0 && offset % B == 0) {
        // The whole block at once, as the real control received it.
        block = std::make_unique_for_overwrite<std::uint8_t[]>(B);
        const std::size_t filled = std::min(B, owner.body.size() - offset);
        std::copy_n(owner.body.begin() + static_cast<std::ptrdiff_t>(offset), filled, block.get());
    }
    offset += n;
    return n;
}

void FakeTransferControl::Cancel() {
    ++cancels;
    owner.journal.push_back("cancel");
}

std::int32_t FakeTransferControl::ResponseCode() { return owner.responseCode; }
std::int64_t FakeTransferControl::ContentLength() { return owner.contentLength; }
platform::TransferFailure FakeTransferControl::Failure() {
    if (owner.failure.kind == platform::TransferFailure::Kind::None && bodyLimit >= 0 &&
        static_cast<std::int64_t>(owner.body.size()) > bodyLimit) {
        platform::TransferFailure tooLarge;
        tooLarge.kind = platform::TransferFailure::Kind::TooLarge;
        return tooLarge;
    }
    return owner.failure;
}

std::unique_ptr<platform::TransferControl> FakeTransferFactory::CreateTransferControl(
    platform::TransferEvents& events) {
    auto c = std::make_unique<FakeTransferControl>(*this, events);
    control = c.get();
    return c;
}

// ---------------------------------------------------------------- platform

FakePlatform::FakePlatform(FakeLocale::Kind kind)
    : locale(kind),
      platform{registry, profile, shell, messageBox, windows, transfer, files, clock, locale, process, hash},
      ctx(platform, RuntimeSource{"http://downloads.quenlark.com/downloads/runtime/ACCESSRT.CAB", "", ""}) {
    files.AddFolder(files.windowsFolder);
    files.AddFolder(shell.systemDirectory);
    files.AddFolder(shell.wow64Directory);
    files.AddFolder(process.applicationFolder);
    transfer.windows = &windows;
}

} // namespace orv::fakes
