// Manifest: end the download (zero-length DNLOAD) unless the download step already did, let the
// device manifest, reset it and wait for it to come back in run-time mode.
#include "DFUEngineLocal.h"
#include "StepCommon.h"

namespace dfuengine {
namespace {

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

    // The USB reset starts the new firmware; the device re-enumerates in run-time mode.
    context.SetActivity(DFUEngine::manifest_start_runtime, DFUEngine::transport_usb_wait);
    const bool resetFailed = context.Device().Reset() == UsbResult::error;
    context.SetActivity(DFUEngine::manifest_retry_runtime, DFUEngine::transport_usb_wait);
    context.SetProgress(50, 0, 0);
    if (!context.Reattach(StepContext::Mode::runtime, GetEngineTiming().enumerationWaitMs)) {
        if (context.Cancelled()) return DFUEngine::aborted;
        context.SetActivity(DFUEngine::manifest_fail, DFUEngine::transport_usb_wait);
        // The device still waits for the reset that starts its new firmware (it may still come
        // back by itself, or when unplugged, which is why the wait above still ran): that is
        // no judgement on the firmware.
        if (resetFailed) return DFUEngine::fail_os;
        // Back in DFU mode means the device did not accept the new firmware.
        if (context.Reattach(StepContext::Mode::dfu, 0)) {
            DfuRequests again(context.Device(), d.interfaceNumber);
            DfuStatusReply reply;
            if (again.GetStatus(reply) == DFUEngine::success && reply.status != 0) {
                return ResultFromDfuStatus(reply);
            }
            return DFUEngine::fail_dfu_firmware;
        }
        return DFUEngine::fail_usb_none;
    }
    context.SetActivity(DFUEngine::manifest_retry_runtime, DFUEngine::transport_established);
    context.SetProgress(100, 0, 0);
    return DFUEngine::success;
}

}  // namespace

Code RunManifest(StepContext& context) {
    return Finish(context, ManifestStep(context));
}

}  // namespace dfuengine
