// One firmware upgrade through the engine, on the calling thread: open the DFU device, then
// reconfigure (which checks the file against the device before anything is written),
// download and manifest, each step waited for. Progress goes to the reporter's bar and the
// engine's events to the support log. Ctrl+C ends the wait: the engine is destroyed, which
// stops its step (aborted).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "DFUEngine.h"

namespace service {

class Reporter;
class SupportLog;

struct FlashOutcome {
    bool opened = false;
    DFUEngine::OpenProblem openProblem = DFUEngine::open_ok;
    std::string openDetail;
    std::uint32_t deviceVendor = 0;  // when the engine knows them
    std::uint32_t deviceProduct = 0;
    std::string step;  // the step that ended the upgrade: "open", "reconfigure", ...
    int32_t result = DFUEngine::success;
    int32_t operation = 0;
    int32_t subOperation = 0;
    bool started = true;  // false: the engine refused to start the step

    bool Succeeded() const { return opened && started && result == DFUEngine::success; }
    // Written and verified, but the device waits for a reset the program cannot give: it
    // starts its new firmware when unplugged and plugged in again.
    bool WaitsForReplug() const {
        return Succeeded() && operation == DFUEngine::manifest_start_runtime &&
               subOperation == DFUEngine::transport_usb_wait;
    }
};

// Why the DFU device could not be opened, with the engine's words and the device's USB ID
// when the engine knows them: "the DFU device NAME cannot be opened: no WinUSB driver is bound
// to USB\VID_1209&PID_4B58 (USB ID 1209:4B58)".
std::string DescribeOpenFailure(const FlashOutcome& outcome, const std::string& device);

class FlashJob : public DFUEngine::Callback {
  public:
    FlashJob(std::string label, std::wstring device, std::wstring file, Reporter& reporter, int bar,
             SupportLog* log);

    FlashOutcome Run();
    // Set once the reconfigure has ended (however it ended) or the job has: the device then
    // keeps its name until manifestation.
    bool Settled() const { return settled_.load(); }

    void OnActivity(DFUEngine* engine, const DFUEngine::Status& status) override;
    void OnProgress(DFUEngine* engine, const DFUEngine::Status& status) override;
    void OnComplete(DFUEngine* engine, const DFUEngine::Status& status) override;

  private:
    // Starts one step and waits for its end; false when it did not succeed.
    bool RunStep(DFUEngine& engine, const char* step, FlashOutcome& outcome,
                 bool (*start)(DFUEngine&, const std::wstring&));
    void Log(const std::string& text);

    const std::string label_;
    const std::wstring device_;
    const std::wstring file_;
    Reporter& reporter_;
    const int bar_;
    SupportLog* log_;

    std::atomic<bool> settled_{false};
    std::mutex mutex_;
    std::condition_variable completed_;
    bool done_ = false;
    DFUEngine::Status last_;
    int32_t lastOperation_ = -1;
    int lastLoggedTenth_ = -1;
};

}  // namespace service
