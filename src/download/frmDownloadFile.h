// The download window: fetches one file over HTTP with its transfer control, shows progress,
// amount, rate and time left, and saves the body at the end.
#pragma once
#include <cstdint>
#include <memory>

#include "agent/Agent.h"
#include "agent/Windows.h"
#include "platform/TransferControl.h"
#include "platform/Windows.h"

namespace orv {

class frmDownloadFile : public Form, public platform::DownloadWindowEvents, public platform::TransferEvents {
public:
    explicit frmDownloadFile(AgentContext& ctx);
    ~frmDownloadFile() override;

    void Load() override;
    void Show() override;
    bool Loaded() const { return view_ != nullptr; }
    void SetCaption(const std::string& caption);
    // Runs Form_QueryUnload and destroys the window.
    void Unload();

    std::int32_t GetBufferUBound() const;

    // Event handlers, raised by the platform.
    void Inet1_StateChanged(std::int16_t state) override;
    void Timer1_Timer() override;
    void cmdCancel_Click() override;
    void CloseRequested() override;
    void Form_QueryUnload(std::int32_t& cancel, std::int32_t unloadMode);

    platform::DownloadWindowView* View() { return view_.get(); }
    platform::TransferControl* Inet1() { return inet1_.get(); }

private:
    friend void StartDownload(AgentContext&, const Variant&, const Variant&, const Variant&);

    AgentContext& ctx_;
    std::unique_ptr<platform::DownloadWindowView> view_;
    std::unique_ptr<platform::TransferControl> inet1_;
    ByteArray receivedData_;
    std::int32_t lastTickMs_ = 0;
    std::int32_t lastUBound_ = 0;
    bool busy_ = false;
};

} // namespace orv
