// Test doubles of every platform service, in one place for all tests. They keep their state in
// plain members so a test can arrange it and look at it afterwards, and they append what they do
// to one shared journal, so a test can check the order of effects across services.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "agent/Agent.h"
#include "platform/Platform.h"

namespace orv::fakes {

using Journal = std::vector<std::string>;

// Thrown by FakeProcess::EndNow so a test can see the agent end without the test process ending.
struct ProcessEnded {};

// Lower case, "/" kept, runs of "\" collapsed (but a leading "\\" kept), as Windows resolves them.
std::string NormalizePath(const std::string& path);
std::string ParentFolder(const std::string& path);

// A 64-bit Windows on which the product and its components were installed by 32-bit
// installers: what the setters write under HKEY_LOCAL_MACHINE is in the 32-bit view, which a key
// opened without KEY_WOW64_32KEY does not see. The other roots are shared between the views.
class FakeRegistry : public platform::Registry {
public:
    struct Value {
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    };
    // A text value where only 64-bit programs look (HKEY_LOCAL_MACHINE without the flag).
    void SetStringIn64BitView(std::uint32_t root, const std::string& path, const std::string& name,
                              const std::string& text);
    // Adds a key (and its value); names are case-insensitive.
    void SetKey(std::uint32_t root, const std::string& path);
    void SetValue(std::uint32_t root, const std::string& path, const std::string& name, std::uint32_t type,
                  std::vector<std::uint8_t> data);
    void SetString(std::uint32_t root, const std::string& path, const std::string& name, const std::string& text,
                   std::uint32_t type = platform::kRegSz);  // stores the terminating zero too
    void SetDword(std::uint32_t root, const std::string& path, const std::string& name, std::uint32_t value);
    void DenyAccess(std::uint32_t root, const std::string& path);

    std::int32_t OpenKey(std::uint32_t root, const std::string& subKey, std::uint32_t access,
                         platform::RegKey& key) override;
    std::int32_t QueryValue(platform::RegKey key, const std::string& name, std::uint32_t& type, std::uint8_t* data,
                            std::uint32_t& size) override;
    std::int32_t CloseKey(platform::RegKey key) override;

    // Keys opened and not yet closed; every close of a key not open is counted as a fault.
    std::set<platform::RegKey> openKeys;
    int opens = 0, closes = 0, badCloses = 0, queries = 0;
    std::vector<std::uint32_t> accessMasks;
    std::vector<std::uint32_t> querySizes;  // the size handed in to each query
    // Runs at the start of each query with its number (from 1), so a test can change a value
    // between two queries as another program could.
    std::function<void(int)> onQuery;

private:
    struct Key {
        std::map<std::string, Value> values;
        bool denied = false;
    };
    std::map<std::string, Key> keys_;
    std::map<platform::RegKey, std::string> handles_;
    platform::RegKey next_ = 0x100;
};

class FakeFileSystem;

class FakeProfile : public platform::Profile {
public:
    explicit FakeProfile(FakeFileSystem& files) : files_(files) {}
    // Like Windows: blanks around keys and values are trimmed, names compare without case.
    std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& defaultText, std::uint32_t bufferSize,
                                        const std::string& file) override;
    std::int32_t GetPrivateProfileInt(const std::string& section, const std::string& key, std::int32_t defaultValue,
                                      const std::string& file) override;
    bool FindNormalFile(const std::string& name) override;
    std::vector<std::string> calls;

private:
    FakeFileSystem& files_;
};

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

class FakeMessageBox : public platform::MessageBox {
public:
    explicit FakeMessageBox(Journal& journal) : journal_(journal) {}
    struct Box {
        std::string text, title;
        std::int32_t style;
    };
    std::int32_t Show(const std::string& text, const std::string& title, std::int32_t style) override;
    std::vector<Box> shown;
    // Answers for Yes/No boxes, in order; No when none is left.
    std::deque<std::int32_t> answers;
    // Runs while a box is up (before it is answered).
    std::function<void(const Box&)> onShow;

private:
    Journal& journal_;
};

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

class FakeClock : public platform::Clock {
public:
    explicit FakeClock(Journal& journal) : journal_(journal) {}
    double Now() override { return now; }
    float SecondsSinceMidnight() override;
    void Sleep(std::uint32_t milliseconds) override;
    double now = 46000.5;  // 2025-12-09 12:00:00
    float seconds = 43200.0f;
    // Successive readings of SecondsSinceMidnight, taken before `seconds` is used.
    std::deque<float> secondsQueue;
    std::vector<std::uint32_t> sleeps;
    std::function<void(std::uint32_t)> onSleep;

private:
    Journal& journal_;
};

class FakeLocale : public platform::Locale {
public:
    enum class Kind { EnUs, CommaDecimal };
    explicit FakeLocale(Kind kind = Kind::EnUs) : kind(kind) {}
    std::optional<double> ParseNumber(const std::string& text) const override;
    std::string FormatNumber(double value) const override;
    std::string FormatGeneralDate(double oleDate) const override;
    std::string FormatFixed2Grouped(double value) const override;
    Kind kind;
    char Decimal() const { return kind == Kind::EnUs ? '.' : ','; }
    char Thousands() const { return kind == Kind::EnUs ? ',' : '.'; }
};

class FakeProcess : public platform::Process {
public:
    explicit FakeProcess(Journal& journal) : journal_(journal) {}
    std::string ApplicationFolder() override { return applicationFolder; }
    std::uint32_t ProcessId() override { return processId; }
    platform::Elevation ProcessElevation() override { return elevation; }
    // The queued numbers first, then a sequence of its own.
    std::uint32_t RandomNumber() override;
    void EndNow(std::uint32_t exitCode) override;
    std::string applicationFolder = "C:\\Apps\\Orvastell";
    std::uint32_t processId = 4242;
    // A user's run where the elevation prompt is on.
    platform::Elevation elevation{platform::TokenElevation::Limited, false};
    std::deque<std::uint32_t> randomNumbers;
    std::uint32_t nextRandom = 0x5eed0001;
    bool ended = false;
    std::optional<std::uint32_t> exitCode;  // the code it ended with

private:
    Journal& journal_;
};

// Not SHA-256: a digest of its own, as sensitive to every byte, that tests compute through it.
class FakeHash : public platform::Hash {
public:
    platform::Sha256Digest Sha256(std::span<const platform::ByteSpan> pieces) override;
    platform::Sha256Digest Sha256Of(const std::vector<std::uint8_t>& bytes) {
        const platform::ByteSpan whole(bytes);
        return Sha256(std::span<const platform::ByteSpan>(&whole, 1));
    }
    std::optional<AgentError> error;  // thrown when set
    int calls = 0;
};

// The digest in lower-case hexadecimal, as the build setting writes it.
std::string HexOf(const platform::Sha256Digest& digest);

class FakeWindowToolkit;

class FakeDownloadWindow : public platform::DownloadWindowView {
public:
    FakeDownloadWindow(FakeWindowToolkit& owner, platform::DownloadWindowEvents& events)
        : owner(owner), events(events) {}
    ~FakeDownloadWindow() override;
    void Show() override;
    bool Visible() override { return visible; }
    void SetCaption(const std::string& text) override { caption = text; }
    void SetStatus(const std::string& text) override;
    void SetAmount(const std::string& text) override { amount = text; }
    void SetTimeLeft(const std::string& text) override { timeLeft = text; }
    void SetProgressMax(float value) override { progressMax = value; }
    float ProgressMax() override { return progressMax; }
    void SetProgressValue(float value) override;
    float ProgressValue() override { return progressValue; }
    void Destroy() override;

    FakeWindowToolkit& owner;
    platform::DownloadWindowEvents& events;
    std::string caption = "File download", status, amount, timeLeft;
    float progressMax = 100.0f, progressValue = 0.0f, highestProgress = 0.0f;
    bool visible = false, destroyed = false;
    std::vector<std::string> statusHistory;
};

class FakeUpdateWindow : public platform::UpdateWindowView {
public:
    explicit FakeUpdateWindow(FakeWindowToolkit& owner) : owner(owner) {}
    ~FakeUpdateWindow() override;
    void Show() override;
    void Refresh() override;
    void Destroy() override;
    FakeWindowToolkit& owner;
    bool visible = false, painted = false, destroyed = false;
};

class FakeWindowToolkit : public platform::WindowToolkit {
public:
    explicit FakeWindowToolkit(Journal& journal) : journal(journal) {}
    std::unique_ptr<platform::DownloadWindowView> CreateDownloadWindow(platform::DownloadWindowEvents& events) override;
    std::unique_ptr<platform::UpdateWindowView> CreateUpdateWindow() override;
    // Runs `onDoEvents` (with the number of this call, from 1), then every queued event.
    void DoEvents() override;
    // The fake never skips the check of its queue: the same as DoEvents, counted apart too.
    void DoEventsNow() override {
        ++doEventsNowCalls;
        DoEvents();
    }
    // Queues an event to run at the next DoEvents, as a posted message would.
    void Post(std::function<void()> event) { queue.push_back(std::move(event)); }

    Journal& journal;
    FakeDownloadWindow* downloadWindow = nullptr;  // the live one, if any
    FakeUpdateWindow* updateWindow = nullptr;
    int downloadWindowsCreated = 0, updateWindowsCreated = 0, doEventsCalls = 0, doEventsNowCalls = 0;
    std::function<void(int)> onDoEvents;
    std::deque<std::function<void()>> queue;
    bool OpenWindows() const { return downloadWindow != nullptr || updateWindow != nullptr; }
};

class FakeTransferControl : public platform::TransferControl {
public:
    FakeTransferControl(struct FakeTransferFactory& owner, platform::TransferEvents& events)
        : owner(owner), events(events) {}
    ~FakeTransferControl() override;
    void SetRequestTimeout(std::int32_t seconds) override { requestTimeout = seconds; }
    void SetBodyLimit(std::int64_t bytes) override { bodyLimit = bytes; }
    void Execute(const std::string& url, const std::string& operation) override;
    bool StillExecuting() override;
    std::size_t GetChunk(std::size_t size, platform::BodyBlock& block) override;
    std::string URL() override { return url; }
    void Cancel() override;
    std::int32_t ResponseCode() override;
    std::int64_t ContentLength() override;
    platform::TransferFailure Failure() override;

    struct FakeTransferFactory& owner;
    platform::TransferEvents& events;
    std::string url, operation;
    std::int32_t requestTimeout = 0;
    std::int64_t bodyLimit = -1;  // none set; a longer body fails as TooLarge
    std::size_t offset = 0;
    int stillExecutingPolls = 0, cancels = 0;
    std::vector<std::size_t> chunkSizes;  // sizes asked of GetChunk
};

// Creates the transfer controls; what they will do is arranged here before the run.
struct FakeTransferFactory : public platform::TransferFactory {
    explicit FakeTransferFactory(Journal& journal) : journal(journal) {}
    std::unique_ptr<platform::TransferControl> CreateTransferControl(platform::TransferEvents& events) override;
    void Prepare() override { journal.push_back("transfer prepared"); }

    Journal& journal;
    FakeWindowToolkit* windows = nullptr;  // where state changes are posted
    std::vector<std::uint8_t> body;
    std::int32_t responseCode = 200;
    std::int64_t contentLength = -1;  // -1: none announced
    platform::TransferFailure failure;
    // How many StillExecuting polls answer true before the request is done.
    int busyPolls = 1;
    // States posted to the window's event queue when Execute is called.
    std::vector<std::int16_t> statesOnExecute = {platform::icResponseReceived};
    FakeTransferControl* control = nullptr;  // the live one, if any
};

// A whole platform of fakes, wired together, and the agent context on it.
struct FakePlatform {
    explicit FakePlatform(FakeLocale::Kind locale = FakeLocale::Kind::EnUs);
    Journal journal;
    FakeRegistry registry;
    FakeFileSystem files{journal};
    FakeProfile profile{files};
    FakeShell shell{journal};
    FakeMessageBox messageBox{journal};
    FakeWindowToolkit windows{journal};
    FakeTransferFactory transfer{journal};
    FakeClock clock{journal};
    FakeLocale locale;
    FakeProcess process{journal};
    FakeHash hash;
    platform::Platform platform;
    AgentContext ctx;
};

} // namespace orv::fakes
