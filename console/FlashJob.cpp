#include "console/FlashJob.h"

#include <chrono>
#include <cstdio>
#include <memory>

#include "console/Interrupt.h"
#include "console/Reporter.h"
#include "console/SupportLog.h"
#include "console/WideText.h"
#include "upgrade/names/DfuNames.h"

namespace service {
namespace {

std::string ActivityText(const DFUEngine::Status& status) {
    const DFUEngine::Activity& a = status.GetActivity();
    return std::string(upgrade::OperationName(a.GetOperation())) + " / " +
           upgrade::SubOperationName(a.GetSubOperation());
}

bool StartReconfigure(DFUEngine& engine, const std::wstring& file) {
    // A device still in run-time mode is detached; the file is checked against the device.
    return engine.StartReconfigure(false, true, file.c_str());
}
bool StartDownload(DFUEngine& engine, const std::wstring& file) {
    return engine.StartDownload(file.c_str());
}
bool StartManifest(DFUEngine& engine, const std::wstring&) {
    return engine.StartManifest();
}

}  // namespace

std::string DescribeOpenFailure(const FlashOutcome& outcome, const std::string& device) {
    std::string text = "the DFU device " + device + " cannot be opened";
    if (!outcome.openDetail.empty()) text += ": " + outcome.openDetail;
    if (outcome.deviceVendor != 0 || outcome.deviceProduct != 0) {
        char id[32];
        std::snprintf(id, sizeof id, " (USB ID %04X:%04X)", outcome.deviceVendor & 0xFFFF,
                      outcome.deviceProduct & 0xFFFF);
        text += id;
    }
    return text;
}

FlashJob::FlashJob(std::string label, std::wstring device, std::wstring file, Reporter& reporter,
                   int bar, SupportLog* log)
    : label_(std::move(label)),
      device_(std::move(device)),
      file_(std::move(file)),
      reporter_(reporter),
      bar_(bar),
      log_(log) {}

void FlashJob::Log(const std::string& text) {
    if (log_ != nullptr) log_->Line(label_ + " engine", text);
}

void FlashJob::OnActivity(DFUEngine*, const DFUEngine::Status& status) {
    Log("activity " + ActivityText(status));
    const int32_t operation = status.GetActivity().GetOperation();
    bool verifying = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        verifying = operation == DFUEngine::download_verify && lastOperation_ != operation;
        lastOperation_ = operation;
    }
    // The read-back is a phase of its own on the bar: its rate and time left are its own.
    if (verifying) reporter_.Step(bar_, "verify", false);
}

void FlashJob::OnProgress(DFUEngine*, const DFUEngine::Status& status) {
    const DFUEngine::Activity& a = status.GetActivity();
    reporter_.Progress(bar_, status.percent, a.GetBytesDone(), a.GetBytesTotal());
    std::lock_guard<std::mutex> lock(mutex_);
    if (status.percent / 10 != lastLoggedTenth_) {
        lastLoggedTenth_ = status.percent / 10;
        if (log_ != nullptr)
            log_->Line(label_ + " engine", "progress " + std::to_string(status.percent) + "% " +
                                               std::to_string(a.GetBytesDone()) + "/" +
                                               std::to_string(a.GetBytesTotal()) + " bytes");
    }
}

void FlashJob::OnComplete(DFUEngine*, const DFUEngine::Status& status) {
    Log("complete " + std::string(upgrade::ResultName(status.GetActivity().GetResult().GetCode())) +
        " at " + ActivityText(status));
    std::lock_guard<std::mutex> lock(mutex_);
    last_ = status;
    done_ = true;
    completed_.notify_all();
}

bool FlashJob::RunStep(DFUEngine& engine, const char* step, FlashOutcome& outcome,
                       bool (*start)(DFUEngine&, const std::wstring&)) {
    outcome.step = step;
    reporter_.Step(bar_, step, true);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = false;
        lastLoggedTenth_ = -1;
    }
    if (!start(engine, file_)) {
        Log(std::string("the engine did not start ") + step);
        outcome.started = false;
        return false;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    while (!done_ && !Interrupted()) completed_.wait_for(lock, std::chrono::milliseconds(50));
    if (!done_) return false;  // interrupted: the caller ends the engine
    const DFUEngine::Activity& a = last_.GetActivity();
    outcome.result = a.GetResult().GetCode();
    outcome.operation = a.GetOperation();
    outcome.subOperation = a.GetSubOperation();
    return outcome.result == DFUEngine::success;
}

FlashOutcome FlashJob::Run() {
    FlashOutcome outcome;
    outcome.step = "open";
    auto engine = std::make_unique<DFUEngine>();
    engine->SetCallback(this);
    Log("opening " + ToNarrow(device_));
    outcome.opened = engine->CreateUSB(device_.c_str());
    CStringX detail;
    outcome.openProblem =
        engine->GetLastOpenProblem(detail, outcome.deviceVendor, outcome.deviceProduct);
    outcome.openDetail = ToNarrow(detail.GetString());
    if (!outcome.opened) {
        Log("cannot open: " + outcome.openDetail);
        settled_ = true;
        return outcome;
    }
    const bool reconfigured = RunStep(*engine, "reconfigure", outcome, StartReconfigure);
    settled_ = true;
    if (reconfigured && RunStep(*engine, "download", outcome, StartDownload)) {
        RunStep(*engine, "manifest", outcome, StartManifest);
    }
    if (Interrupted() && outcome.started) {
        bool ended;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ended = done_;
        }
        if (!ended) {
            // Destroying the engine stops the running step; its completion (aborted) comes
            // from inside the destructor.
            Log("interrupted: stopping the engine");
            engine.reset();
            std::lock_guard<std::mutex> lock(mutex_);
            const DFUEngine::Activity& a = last_.GetActivity();
            outcome.result = DFUEngine::aborted;
            outcome.operation = a.GetOperation();
            outcome.subOperation = a.GetSubOperation();
        }
    }
    return outcome;
}

}  // namespace service
