#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fakes/FakeSupport.h"
#include "platform/TransferControl.h"

namespace orv::fakes {

class FakeWindowToolkit;

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

} // namespace orv::fakes
