#include "download/frmDownloadFile.h"

// Not built yet: the download window's logic arrives with the runtime download.
namespace orv {
frmDownloadFile::frmDownloadFile(AgentContext& ctx) : ctx_(ctx) {}
frmDownloadFile::~frmDownloadFile() = default;
void frmDownloadFile::Load() {}
void frmDownloadFile::Show() {}
void frmDownloadFile::SetCaption(const std::string&) {}
void frmDownloadFile::Unload() {}
std::int32_t frmDownloadFile::GetBufferUBound() const { return static_cast<std::int32_t>(receivedData_.size()) - 1; }
void frmDownloadFile::Inet1_StateChanged(std::int16_t) {}
void frmDownloadFile::Timer1_Timer() {}
void frmDownloadFile::cmdCancel_Click() {}
void frmDownloadFile::CloseRequested() {}
void frmDownloadFile::Form_QueryUnload(std::int32_t&, std::int32_t) {}
} // namespace orv
