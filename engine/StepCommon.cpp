// Busy waits, recovery to dfuIDLE and manifestation, shared by the steps.
#include "StepCommon.h"

#include <chrono>

#include "DFUEngineLocal.h"

namespace dfuengine {
namespace {

using Clock = std::chrono::steady_clock;

// Tracks how long one request has kept the device busy.
class BusyBudget {
  public:
    BusyBudget() : start_(Clock::now()), limitMs_(GetEngineTiming().busyLimitMs) {}
    // Whether waiting pollMs more stays within the limit.
    bool Allows(std::uint32_t pollMs) const {
        const auto spent =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
        return static_cast<std::uint64_t>(spent) + pollMs <= limitMs_;
    }

  private:
    Clock::time_point start_;
    std::uint64_t limitMs_;
};

}  // namespace

Code WaitBlockDone(StepContext& context, DfuRequests& requests) {
    const BusyBudget budget;
    for (;;) {
        DfuStatusReply reply;
        const Code code = requests.GetStatus(reply);
        if (code != DFUEngine::success) return code;
        if (reply.status != 0) return ResultFromDfuStatus(reply);
        switch (reply.state) {
            case kDfuDnloadIdle:
                return DFUEngine::success;
            case kDfuDnbusy:
            case kDfuDnloadSync:
                if (!budget.Allows(reply.pollTimeoutMs))
                    return DFUEngine::fail_mode_not_dnload_idle;
                if (!context.Sleep(reply.pollTimeoutMs)) return DFUEngine::aborted;
                break;
            case kDfuError:
                return DFUEngine::fail_dfu_unknown;  // dfuERROR with status OK: no reason given
            default:
                return DFUEngine::fail_mode_not_dnload_idle;
        }
    }
}

Code BringToIdle(StepContext& context, DfuRequests& requests, bool* waitsForReset) {
    if (waitsForReset != nullptr) *waitsForReset = false;
    // Busy states are waited out within the busy limit, however many polls they take; every
    // other round moves the device one transition closer, and a handful of those is plenty.
    const BusyBudget budget;
    int movesLeft = 8;
    for (;;) {
        DfuStatusReply reply;
        Code code = requests.GetStatus(reply);
        if (code != DFUEngine::success) return code;
        switch (reply.state) {
            case kDfuIdle:
                return DFUEngine::success;
            case kDfuDnbusy:
            case kDfuManifest:
                if (!budget.Allows(reply.pollTimeoutMs)) return DFUEngine::fail_mode_not_idle;
                if (!context.Sleep(reply.pollTimeoutMs)) return DFUEngine::aborted;
                continue;
            case kAppIdle:
            case kAppDetach:
                return DFUEngine::fail_mode_no_dfu;
            case kDfuManifestWaitReset:
                // Requests cannot move it: only a USB reset does.
                if (waitsForReset != nullptr) *waitsForReset = true;
                return DFUEngine::fail_mode_not_idle;
            default:
                break;
        }
        if (--movesLeft < 0) return DFUEngine::fail_mode_not_idle;
        switch (reply.state) {
            case kDfuError:
                code = requests.ClearStatus();
                break;
            case kDfuDnloadIdle:
            case kDfuUploadIdle:
                code = requests.Abort();
                break;
            case kDfuDnloadSync:
            case kDfuManifestSync:
                break;  // the GETSTATUS itself moved the device on
            default:
                return DFUEngine::fail_mode_not_idle;
        }
        if (code != DFUEngine::success) return code;
    }
}

Code Manifest(StepContext& context, DfuRequests& requests, std::uint16_t block, bool tolerant) {
    Code code = requests.Download(block, nullptr, 0);
    if (code != DFUEngine::success) return code;
    const BusyBudget budget;
    for (;;) {
        DfuStatusReply reply;
        code = requests.GetStatus(reply);
        if (code != DFUEngine::success) return code;
        if (reply.status != 0) return ResultFromDfuStatus(reply);
        switch (reply.state) {
            case kDfuManifest:
            case kDfuManifestSync:
                if (!budget.Allows(reply.pollTimeoutMs)) return DFUEngine::fail_mode_not_manifest;
                if (!context.Sleep(reply.pollTimeoutMs)) return DFUEngine::aborted;
                // A device that is not manifestation tolerant now waits for the USB reset and
                // answers nothing more.
                if (reply.state == kDfuManifest && !tolerant) return DFUEngine::success;
                break;
            case kDfuIdle:
            case kDfuManifestWaitReset:
                return DFUEngine::success;
            default:
                return DFUEngine::fail_mode_not_manifest;
        }
    }
}

}  // namespace dfuengine
