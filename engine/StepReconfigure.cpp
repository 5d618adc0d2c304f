// Reconfigure: open the device, get it into DFU mode at dfuIDLE, check the file against it.
#include "DFUEngineLocal.h"
#include "FileAccess.h"
#include "StepCommon.h"

namespace dfuengine {
namespace {

// Gets the opened device into DFU mode at dfuIDLE; d describes it afterwards. waitsForReset
// tells that the device reported dfuMANIFEST-WAIT-RESET.
Code ReachDfuIdle(StepContext& context, bool dfuModeOnly, DfuDescription& d, bool& waitsForReset) {
    waitsForReset = false;
    context.SetActivity(DFUEngine::reconfigure_connect, DFUEngine::transport_usb_open);
    context.SetProgress(10, 0, 0);
    if (!context.Device().Describe(d)) return DFUEngine::fail_usb_open;
    context.SetActivity(DFUEngine::reconfigure_connect, DFUEngine::transport_usb_check);
    if (d.transferSize == 0) return DFUEngine::fail_usb_desc_bad;

    if (!d.dfuMode) {
        if (dfuModeOnly) return DFUEngine::fail_mode_no_dfu;
        // Run-time mode: detach, reset unless the device detaches itself, wait for DFU mode.
        context.SetActivity(DFUEngine::reconfigure_start_runtime, DFUEngine::transport_usb_check);
        context.SetProgress(20, 0, 0);
        DfuRequests runtime(context.Device(), d.interfaceNumber);
        Code code = runtime.Detach(d.detachTimeoutMs);
        if (code != DFUEngine::success) return code;
        if (!(d.attributes & kAttrWillDetach) && !ResetDone(context.Device().Reset())) {
            return DFUEngine::fail_os;  // the device stays in run-time mode
        }
        context.SetActivity(DFUEngine::reconfigure_start_dfu, DFUEngine::transport_usb_wait);
        context.SetProgress(30, 0, 0);
        if (!context.Reattach(StepContext::Mode::dfu, GetEngineTiming().enumerationWaitMs)) {
            return DFUEngine::fail_mode_no_dfu;
        }
        context.SetActivity(DFUEngine::reconfigure_start_dfu, DFUEngine::transport_usb_open);
        if (!context.Device().Describe(d)) return DFUEngine::fail_usb_open;
        if (!d.dfuMode) return DFUEngine::fail_mode_no_dfu;
        if (d.transferSize == 0) return DFUEngine::fail_usb_desc_bad;
    }

    context.SetActivity(DFUEngine::reconfigure_start_dfu, DFUEngine::transport_usb_check);
    context.SetProgress(60, 0, 0);
    DfuRequests requests(context.Device(), d.interfaceNumber);
    return BringToIdle(context, requests, &waitsForReset);
}

Code Reconfigure(StepContext& context, bool dfuModeOnly, bool checkFile,
                 const std::wstring& fileName) {
    DfuDescription d;
    bool waitsForReset = false;
    Code code = ReachDfuIdle(context, dfuModeOnly, d, waitsForReset);
    if (code == DFUEngine::fail_dfu_stalledpkt || waitsForReset) {
        // A device that does not even answer GETSTATUS, or says it waits for a reset, was left
        // in dfuMANIFEST-WAIT-RESET by an interrupted upgrade: reset it and start over once.
        context.SetActivity(DFUEngine::recover_clean_up, DFUEngine::transport_usb_wait);
        if (!ResetDone(context.Device().Reset())) {
            context.SetActivity(DFUEngine::recover_fail, DFUEngine::transport_usb_wait);
            return DFUEngine::fail_os;
        }
        if (!context.Reattach(StepContext::Mode::any, GetEngineTiming().enumerationWaitMs)) {
            context.SetActivity(DFUEngine::recover_fail, DFUEngine::transport_usb_wait);
            return DFUEngine::fail_usb_none;
        }
        code = ReachDfuIdle(context, dfuModeOnly, d, waitsForReset);
    }
    if (code != DFUEngine::success) return code;

    context.SetActivity(DFUEngine::reconfigure_checking, DFUEngine::transport_usb_check);
    context.SetProgress(80, 0, 0);
    if (checkFile) {
        std::vector<std::uint8_t> data;
        dfufile::FileInfo info;
        code = LoadFirmwareFile(fileName, data, info);
        if (code != DFUEngine::success) return code;
        if (info.vendor != 0xFFFF && info.vendor != d.vendor) return DFUEngine::fail_file_vendor;
        if (info.product != 0xFFFF && info.product != d.product) {
            return DFUEngine::fail_file_product;
        }
    }
    context.SetActivity(DFUEngine::reconfigure_checking, DFUEngine::transport_established);
    context.SetProgress(100, 0, 0);
    return DFUEngine::success;
}

}  // namespace

Code RunReconfigure(StepContext& context, bool dfuModeOnly, bool checkFile,
                    const std::wstring& fileName) {
    // A reconfigure starts an upgrade afresh.
    context.Sequence() = Handover{};
    const Code code = Finish(context, Reconfigure(context, dfuModeOnly, checkFile, fileName));
    context.Sequence().reconfigure = code;
    return code;
}

}  // namespace dfuengine
