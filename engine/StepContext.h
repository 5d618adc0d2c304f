// What a step (reconfigure, download, manifest, upload) needs from the engine that runs it:
// the opened device, reporting, cancellable waits and re-finding a re-enumerated device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "DFUEngine.h"
#include "transport/Transport.h"

namespace dfuengine {

// The hand-over between the steps of an upgrade. A step never runs on over a failed step
// before it: a download after a failed reconfigure (the file may not fit the device) and a
// manifest after a failed download (its reset would start an image that failed its read-back)
// end with that failure. Cleared when a device is opened and when a reconfigure starts.
struct Handover {
    DFUEngine::ResultCode reconfigure = DFUEngine::success;  // the last reconfigure's result
    bool downloaded = false;                                 // a download ran since
    DFUEngine::ResultCode download = DFUEngine::success;     // its result
    bool manifestedByDownload = false;  // the download already manifested (to verify)
    // The block number that follows the last block written, which the zero-length DNLOAD
    // ending the download carries.
    std::uint16_t nextBlock = 0;
};

class StepContext {
  public:
    virtual ~StepContext() = default;

    virtual UsbDevice& Device() = 0;
    // Sets the activity; the first notification goes out when it changed.
    virtual void SetActivity(DFUEngine::Operation operation, DFUEngine::SubOperation sub) = 0;
    // Sets percent and bytes; the second notification goes out when the percentage changed.
    virtual void SetProgress(int percent, std::uint32_t bytesDone, std::uint32_t bytesTotal) = 0;
    // Waits; false when the step is being cancelled.
    virtual bool Sleep(std::uint32_t ms) = 0;
    virtual bool Cancelled() = 0;
    enum class Mode { runtime, dfu, any };
    // Closes the device and waits for it to be attached again (LookForDevice) in the mode asked
    // for. False on time-out or cancel; the device then reads as it was last seen.
    virtual bool Reattach(Mode mode, std::uint32_t timeoutMs) = 0;
    enum class Seen {
        absent,       // not listed, and no USB device of its vendor at its place
        dfu,          // listed in DFU mode; Device() is it, opened again
        runtime,      // listed in run-time mode; Device() is it, opened again
        otherDevice,  // not listed, but a USB device of its vendor sits at its place (a headset
                      // back in run-time mode as its serial device alone)
    };
    // Looks once for the device (same name, else same place), every earlier handle released.
    virtual Seen LookForDevice() = 0;
    // What the steps of one upgrade (reconfigure, download, manifest) hand on to the next.
    virtual Handover& Sequence() = 0;
};

DFUEngine::ResultCode RunReconfigure(StepContext& context, bool dfuModeOnly, bool checkFile,
                                     const std::wstring& fileName);
DFUEngine::ResultCode RunDownload(StepContext& context, const std::wstring& fileName);
DFUEngine::ResultCode RunManifest(StepContext& context);
DFUEngine::ResultCode RunUpload(StepContext& context, const std::wstring& fileName);

}  // namespace dfuengine
