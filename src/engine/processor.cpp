// Placeholder until this file is written.
#include "engine/processor.h"
namespace rn {
TOutlookProcessor::TOutlookProcessor(TEngineDeps deps) : deps_(std::move(deps)), log_(deps_.Folder, deps_.Clock, [this] { return StopRequested(); }) {}
TOutlookProcessor::~TOutlookProcessor() = default;
void TOutlookProcessor::Start() {}
void TOutlookProcessor::Stop() {}
bool TOutlookProcessor::WaitFor(unsigned) { return true; }
void TOutlookProcessor::SetPendingMessage(const std::string&, const std::string&, const std::string&) {}
void TOutlookProcessor::Execute() {}
void TOutlookProcessor::RunLoop() {}
void TOutlookProcessor::RunPass() {}
void TOutlookProcessor::ProcessChecks() {}
void TOutlookProcessor::WaitForNextPass() {}
void TOutlookProcessor::ShowStatus(const std::string& text) { deps_.Host.ShowStatus(text); }
void TOutlookProcessor::ConnectOutlook() {}
void TOutlookProcessor::CloseOutlook() {}
IOutlookApplication& TOutlookProcessor::Application() { return *application_; }
}
