// Pieces shared by the steps: waiting out busy states, recovering dfuIDLE, manifestation.
#pragma once

#include <cstdint>

#include "DfuRequests.h"
#include "StepContext.h"

namespace dfuengine {

// GETSTATUS after a DNLOAD block until dfuDNLOAD-IDLE, waiting bwPollTimeout before each
// further poll. Gives up with fail_mode_not_dnload_idle when the device stays busy longer than
// the busy limit (at once when it asks for a longer wait than that).
Code WaitBlockDone(StepContext& context, DfuRequests& requests);

// Brings a DFU-mode device to dfuIDLE: clears dfuERROR, aborts dfuDNLOAD-IDLE and
// dfuUPLOAD-IDLE, waits out busy states within the busy limit. A device that reports
// dfuMANIFEST-WAIT-RESET fails with fail_mode_not_idle and *waitsForReset set: only a USB reset
// gets it out of there.
Code BringToIdle(StepContext& context, DfuRequests& requests, bool* waitsForReset = nullptr);

// Sends the zero-length DNLOAD (block number `block`) and follows manifestation: a tolerant
// device returns to dfuIDLE; another one is left in dfuMANIFEST-WAIT-RESET.
Code Manifest(StepContext& context, DfuRequests& requests, std::uint16_t block, bool tolerant);

// The DNLOAD and UPLOAD block length: wTransferSize, or less where the transport carries less
// in one control transfer (WinUSB: 4096 bytes). DFU allows blocks shorter than wTransferSize,
// and an UPLOAD block shorter than the one asked for still ends the upload.
inline std::uint16_t BlockSize(const DfuDescription& d, const UsbDevice& device) {
    const std::size_t limit = device.MaxControlLength();
    return static_cast<std::uint16_t>(d.transferSize < limit ? d.transferSize : limit);
}

// Whether a reset was given: one that failed or that the host may not do was not (a device
// already gone needs none).
inline bool ResetDone(UsbResult result) {
    return result == UsbResult::ok || result == UsbResult::gone;
}

// A failure of a step that is being cancelled reads as "aborted".
inline Code Finish(StepContext& context, Code code) {
    return code != DFUEngine::success && context.Cancelled() ? DFUEngine::aborted : code;
}

}  // namespace dfuengine
