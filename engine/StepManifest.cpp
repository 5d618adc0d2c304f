// Manifest: end the download (zero-length DNLOAD) unless the download step already did, let the
// device manifest, reset it where the host may, and judge the ending by what the device does.
#include <chrono>

#include "DFUEngineLocal.h"
#include "StepCommon.h"
#include "Trace.h"

namespace dfuengine {
namespace {

using Clock = std::chrono::steady_clock;

// What the device did within the re-enumeration wait after manifestation.
struct Watched {
    StepContext::Seen last = StepContext::Seen::absent;
    bool errorStatus = false;  // back, or still, in DFU mode reporting an error
    Code error = DFUEngine::success;
    bool waitsForReset = false;  // in DFU mode, in dfuMANIFEST-WAIT-RESET (or stalling)
};

// Looks at the device until it has left DFU mode (back in run-time mode in any form), it
// reports an error in DFU mode, or the wait ends.
Watched WatchDevice(StepContext& context, std::uint8_t interfaceNumber) {
    const EngineTiming timing = GetEngineTiming();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timing.enumerationWaitMs);
    Watched w;
    for (;;) {
        w.last = context.LookForDevice();
        if (w.last == StepContext::Seen::runtime || w.last == StepContext::Seen::otherDevice) {
            return w;
        }
        w.waitsForReset = false;
        if (w.last == StepContext::Seen::dfu) {
            DfuDescription d;
            const std::uint8_t number =
                context.Device().Describe(d) ? d.interfaceNumber : interfaceNumber;
            DfuRequests requests(context.Device(), number);
            DfuStatusReply reply;
            const Code code = requests.GetStatus(reply);
            if (code == DFUEngine::success && reply.status != 0) {
                w.errorStatus = true;
                w.error = ResultFromDfuStatus(reply);
                return w;
            }
            if (code == DFUEngine::fail_usb_none) w.last = StepContext::Seen::absent;
            // A device in dfuMANIFEST-WAIT-RESET may stall every request but the reset.
            w.waitsForReset =
                code == DFUEngine::fail_dfu_stalledpkt || reply.state == kDfuManifestWaitReset;
        }
        if (Clock::now() >= deadline || !context.Sleep(timing.listIntervalMs)) return w;
    }
}

Code ManifestStep(StepContext& context) {
    context.SetActivity(DFUEngine::manifest_start_runtime, DFUEngine::no_sub_operation);
    context.SetProgress(0, 0, 0);
    Handover& sequence = context.Sequence();
    const Code earlier = sequence.downloaded ? sequence.download : sequence.reconfigure;
    if (earlier != DFUEngine::success) return earlier;
    DfuDescription d;
    if (!context.Device().Describe(d)) return DFUEngine::fail_usb_none;
    if (!d.dfuMode) return DFUEngine::fail_mode_no_dfu;
    DfuRequests requests(context.Device(), d.interfaceNumber);
    const bool tolerant = (d.attributes & kAttrManifestationTolerant) != 0;
    if (!sequence.manifestedByDownload) {
        DfuStatusReply reply;
        Code code = requests.GetStatus(reply);
        if (code != DFUEngine::success) return code;
        if (reply.status != 0) return ResultFromDfuStatus(reply);
        if (reply.state != kDfuDnloadIdle) return DFUEngine::fail_mode_not_dnload_idle;
        // The zero-length DNLOAD continues the download's block numbers: a device that checks
        // them refuses any other number.
        code = Manifest(context, requests, sequence.nextBlock, tolerant);
        if (code != DFUEngine::success) return code;
    }
    sequence.manifestedByDownload = false;
    context.SetProgress(40, 0, 0);

    // The USB reset starts the new firmware, where the host may give it; a device that starts
    // it by itself leaves DFU mode without one.
    context.SetActivity(DFUEngine::manifest_start_runtime, DFUEngine::transport_usb_wait);
    const UsbResult reset = context.Device().Reset();
    const bool resetGiven = ResetDone(reset);
    context.SetActivity(DFUEngine::manifest_retry_runtime, DFUEngine::transport_usb_wait);
    context.SetProgress(50, 0, 0);
    const Watched w = WatchDevice(context, d.interfaceNumber);
    if (context.Cancelled()) return DFUEngine::aborted;

    if (w.last == StepContext::Seen::runtime || w.last == StepContext::Seen::otherDevice ||
        w.last == StepContext::Seen::absent) {
        // It has left DFU mode: back in run-time mode (perhaps as its serial device alone), or
        // gone and not back within the wait.
        Trace(w.last == StepContext::Seen::absent
                  ? L"manifest: the device left DFU mode and has not come back yet"
              : w.last == StepContext::Seen::otherDevice
                  ? L"manifest: the device is back in run-time mode (without its DFU "
                    L"interface)"
                  : L"manifest: the device is back in run-time mode");
        context.SetActivity(DFUEngine::manifest_retry_runtime, DFUEngine::transport_established);
        context.SetProgress(100, 0, 0);
        return DFUEngine::success;
    }
    if (w.errorStatus) {
        // Back, or still, in DFU mode saying why: the device did not accept the firmware.
        Trace(L"manifest: the device stays in DFU mode with an error status");
        context.SetActivity(DFUEngine::manifest_fail, DFUEngine::transport_usb_wait);
        return w.error;
    }
    if (!resetGiven || w.waitsForReset) {
        // The firmware was written (and read back where the device allows): the device only
        // waits for the reset this program could not give. Not a failure: unplugging and
        // plugging in the headset starts the new firmware.
        Trace(
            L"manifest: the device waits for a reset the program cannot give: unplug and "
            L"replug the headset");
        context.SetActivity(DFUEngine::manifest_start_runtime, DFUEngine::transport_usb_wait);
        context.SetProgress(100, 0, 0);
        return DFUEngine::success;
    }
    Trace(L"manifest: the device came back in DFU mode after its reset");
    context.SetActivity(DFUEngine::manifest_fail, DFUEngine::transport_usb_wait);
    return DFUEngine::fail_dfu_firmware;
}

}  // namespace

Code RunManifest(StepContext& context) {
    return Finish(context, ManifestStep(context));
}

}  // namespace dfuengine
