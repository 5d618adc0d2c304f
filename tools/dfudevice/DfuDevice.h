// A simulated USB DFU 1.1 device: the class requests of one DFU interface as a state machine,
// with the run-time/DFU mode switch (detach, USB reset, re-enumeration), configurable
// descriptors and injectable faults. Thread-safe; used in process by tests and served over
// loopback TCP by DfuLoopbackServer.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "UsbDescriptors.h"

namespace qvdfu {

// bState values.
enum DfuState : std::uint8_t {
    appIDLE = 0,
    appDETACH = 1,
    dfuIDLE = 2,
    dfuDNLOAD_SYNC = 3,
    dfuDNBUSY = 4,
    dfuDNLOAD_IDLE = 5,
    dfuMANIFEST_SYNC = 6,
    dfuMANIFEST = 7,
    dfuMANIFEST_WAIT_RESET = 8,
    dfuUPLOAD_IDLE = 9,
    dfuERROR = 10,
};

// bStatus values.
enum DfuStatus : std::uint8_t {
    OK = 0x00,
    errTARGET = 0x01,
    errFILE = 0x02,
    errWRITE = 0x03,
    errERASE = 0x04,
    errCHECK_ERASED = 0x05,
    errPROG = 0x06,
    errVERIFY = 0x07,
    errADDRESS = 0x08,
    errNOTDONE = 0x09,
    errFIRMWARE = 0x0A,
    errVENDOR = 0x0B,
    errUSBR = 0x0C,
    errPOR = 0x0D,
    errUNKNOWN = 0x0E,
    errSTALLEDPKT = 0x0F,
};

// Class requests (bRequest).
enum DfuRequest : std::uint8_t {
    DFU_DETACH = 0,
    DFU_DNLOAD = 1,
    DFU_UPLOAD = 2,
    DFU_GETSTATUS = 3,
    DFU_CLRSTATUS = 4,
    DFU_GETSTATE = 5,
    DFU_ABORT = 6,
};

// bmAttributes bits of the DFU functional descriptor.
constexpr std::uint8_t kCanDownload = 0x01;
constexpr std::uint8_t kCanUpload = 0x02;
constexpr std::uint8_t kManifestationTolerant = 0x04;
constexpr std::uint8_t kWillDetach = 0x08;

struct DeviceConfig {
    std::uint16_t vendor = 0x1209;
    std::uint16_t product = 0x4B58;
    std::uint16_t release = 0x0100;
    std::uint8_t interfaceNumber = 0;
    std::uint8_t attributes = kCanDownload | kCanUpload | kManifestationTolerant | kWillDetach;
    std::uint16_t detachTimeoutMs = 1000;
    std::uint16_t transferSize = 1024;
    std::uint32_t pollTimeoutMs = 0;          // bwPollTimeout after each block
    std::uint32_t manifestPollTimeoutMs = 0;  // bwPollTimeout while manifesting
    bool startInDfuMode = false;
    std::uint32_t reenumerateMs = 0;   // absent this long after a detach or reset
    std::size_t capacity = 32u << 20;  // bytes the device can take
    std::vector<std::uint8_t> image;   // firmware present at start (valid if not empty)
    // Answers GETSTATUS and GETSTATE in dfuMANIFEST-WAIT-RESET (reporting that state) instead
    // of stalling everything but a reset.
    bool statusInWaitReset = false;
    // A device that is not manifestation tolerant starts its new firmware by itself once
    // manifestation is over, as if it had been reset: it needs no USB reset from the host.
    bool selfStartAfterManifest = false;

    // What it shows the host in its USB descriptors (GET_DESCRIPTOR, MS OS 2.0).
    std::uint16_t dfuProduct = 0;         // idProduct in DFU mode; 0: the same as product
    std::string serialNumber = "QV0001";  // empty: no serial number
    InterfaceLayout runtimeLayout = InterfaceLayout::dfu_only;
    InterfaceLayout dfuLayout = InterfaceLayout::dfu_only;
    bool msOs20 = true;  // asks Windows for WinUSB (BOS + MS OS 2.0 descriptor set)
    std::string interfaceGuid = kHeadsetInterfaceGuid;
};

// The headset as its firmware should present itself: in run-time mode its serial function and
// the DFU run-time interface (a composite device), in DFU mode the DFU interface alone, both
// asking Windows for WinUSB.
DeviceConfig HeadsetConfig();

struct Faults {
    long stallAtBlock = -1;  // DNLOAD of this block is stalled
    long errorAtBlock = -1;  // GETSTATUS after this block reports errorStatus
    std::uint8_t errorStatus = errWRITE;
    std::uint8_t errorString = 0;  // iString reported with that error
    bool verifyMismatch = false;   // UPLOAD returns one byte changed
    long goneAtBlock = -1;         // the device disappears after taking this block
    long goneAtUploadBlock = -1;   // the device disappears when asked for this UPLOAD block
    std::uint32_t slowPollMs = 0;  // bwPollTimeout reported while busy (replaces pollTimeoutMs)
    unsigned busyPolls = 0;        // extra dfuDNBUSY answers per block
    bool noReturnAfterManifest = false;  // never re-enumerates after manifestation
    bool resetFails = false;             // a reset fails (a host without the right to reset)
    bool rejectFirmware = false;  // manifestation finds the image bad: the device then comes back
                                  // from its reset in DFU mode with errFIRMWARE
    // The block faults (stall, error, gone) and the no-return fault each strike once and are
    // then cleared, as a pulled and replugged cable does not pull itself again.
    bool strikeOnce = false;
};

// Outcome of one control transfer, as a host controller would see it.
enum class Transfer { ok, stall, gone, error };

struct Setup {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
};

struct Description {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t release = 0;
    bool dfuMode = false;  // interface protocol 2 (DFU mode) rather than 1 (run-time)
    std::uint8_t interfaceNumber = 0;
    std::uint8_t attributes = 0;
    std::uint16_t detachTimeoutMs = 0;
    std::uint16_t transferSize = 0;
    std::uint16_t dfuVersion = 0x0110;
};

class DfuDevice {
  public:
    explicit DfuDevice(DeviceConfig config = {});

    void SetFaults(const Faults& faults);
    // Puts the device into a state as if a previous host had left it there.
    void ForceState(DfuState state, DfuStatus status = OK);

    // Host side: false while the device is not attached (re-enumerating or gone).
    bool Describe(Description& out);
    // One control transfer to the DFU interface. For IN requests data receives up to
    // setup.length bytes and transferred says how many; for OUT requests data holds them.
    Transfer Control(const Setup& setup, std::uint8_t* data, std::size_t& transferred);
    // USB port reset.
    Transfer Reset();
    // Unplugged and plugged in again (also after a fault made it disappear): valid firmware
    // runs in run-time mode, otherwise the device comes up in DFU mode with errFIRMWARE.
    void Replug();

    // Observation for tests and the headset simulator.
    DfuState State();
    bool InDfuMode();
    std::vector<std::uint8_t> Firmware();  // the image the device runs (empty when none)
    std::string FirmwareComment();         // comment of that image's header, or ""
    unsigned long ManifestCount();
    unsigned long EarlyPolls();  // requests that arrived before bwPollTimeout had passed
    // Counts the device's enumerations: it grows each time the device leaves the bus and comes
    // back (detach, reset, re-plug), so that a host model sees a re-enumeration however short.
    unsigned long EnumerationCount();

  private:
    using Clock = std::chrono::steady_clock;

    bool PresentLocked();
    void Reenumerate(bool dfuMode);
    Transfer StandardRequest(const Setup& setup, std::uint8_t* data, std::size_t& transferred);
    std::uint8_t InterfaceNumberLocked() const;
    void RunFirmwareOrStay();
    void Fail(DfuStatus status, std::uint8_t string = 0);
    Transfer Stall();
    Transfer Status(std::uint8_t* data, std::size_t& transferred, std::uint32_t pollMs);
    Transfer RuntimeRequest(const Setup& setup, std::uint8_t* data, std::size_t& transferred);
    Transfer DfuRequestLocked(const Setup& setup, std::uint8_t* data, std::size_t& transferred);
    Transfer Download(const Setup& setup, const std::uint8_t* data);
    Transfer Upload(const Setup& setup, std::uint8_t* data, std::size_t& transferred);
    Transfer GetStatus(std::uint8_t* data, std::size_t& transferred);

    std::mutex mutex_;
    DeviceConfig config_;
    Faults faults_;
    bool dfuMode_;
    bool gone_ = false;
    bool firmwareValid_;
    Clock::time_point absentUntil_{};
    Clock::time_point busyUntil_{};
    Clock::time_point detachUntil_{};
    DfuState state_;
    DfuStatus status_ = OK;
    std::vector<std::uint8_t> flash_;  // the image held; it runs when firmwareValid_
    std::size_t uploadOffset_ = 0;
    unsigned long blocks_ = 0;  // blocks taken by the current download
    unsigned busyLeft_ = 0;
    DfuStatus blockError_ = OK;      // what GETSTATUS reports for the block just taken
    std::uint8_t statusString_ = 0;  // iString of the current status
    bool manifestDone_ = false;
    unsigned long manifestCount_ = 0;
    unsigned long earlyPolls_ = 0;
    unsigned long enumerations_ = 1;
    UsbDescriptors runtimeDescriptors_;
    UsbDescriptors dfuDescriptors_;
};

}  // namespace qvdfu
