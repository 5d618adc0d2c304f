// The simulated DFU 1.1 device's state machine (states and requests as in USB DFU 1.1).
#include "DfuDevice.h"

#include <algorithm>
#include <cstring>

#include "file/DfuFile.h"

namespace qvdfu {
namespace {

constexpr std::uint8_t kDirectionIn = 0x80;
constexpr std::uint8_t kTypeMask = 0x60;
constexpr std::uint8_t kTypeClass = 0x20;
constexpr std::uint8_t kRecipientMask = 0x1F;
constexpr std::uint8_t kRecipientInterface = 0x01;

constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kStandardDeviceIn = 0x80;
constexpr std::uint8_t kVendorDeviceIn = 0xC0;
constexpr std::uint8_t kDescriptorString = 0x03;
constexpr std::uint8_t kDescriptorBos = 0x0F;

bool IsInRequest(std::uint8_t request) {
    return request == DFU_UPLOAD || request == DFU_GETSTATUS || request == DFU_GETSTATE;
}

UsbDescriptors DescriptorsFor(const DeviceConfig& c, bool dfuMode) {
    DescriptorConfig d;
    d.vendor = c.vendor;
    d.product = dfuMode && c.dfuProduct != 0 ? c.dfuProduct : c.product;
    d.release = c.release;
    d.productName = dfuMode ? "KX-V5 DFU" : "KX-V5 Headset";
    d.serialNumber = c.serialNumber;
    d.layout = dfuMode ? c.dfuLayout : c.runtimeLayout;
    d.dfuOnlyInterface = c.interfaceNumber;
    d.dfuMode = dfuMode;
    d.attributes = c.attributes;
    d.detachTimeoutMs = c.detachTimeoutMs;
    d.transferSize = c.transferSize;
    d.msOs20 = c.msOs20;
    d.interfaceGuid = c.interfaceGuid;
    return BuildDescriptors(d);
}

// Copies a descriptor into an IN data stage of `length` bytes (a host reads a head first).
Transfer Serve(const std::vector<std::uint8_t>& descriptor, std::uint16_t length,
               std::uint8_t* data, std::size_t& transferred) {
    if (descriptor.empty()) return Transfer::stall;
    transferred = std::min<std::size_t>(length, descriptor.size());
    std::memcpy(data, descriptor.data(), transferred);
    return Transfer::ok;
}

}  // namespace

DeviceConfig HeadsetConfig() {
    DeviceConfig c;
    c.runtimeLayout = InterfaceLayout::serial_then_dfu;
    c.dfuLayout = InterfaceLayout::dfu_only;
    return c;
}

DfuDevice::DfuDevice(DeviceConfig config)
    : config_(std::move(config)),
      dfuMode_(config_.startInDfuMode),
      firmwareValid_(!config_.image.empty()),
      state_(config_.startInDfuMode ? dfuIDLE : appIDLE),
      flash_(config_.image),
      runtimeDescriptors_(DescriptorsFor(config_, false)),
      dfuDescriptors_(DescriptorsFor(config_, true)) {}

void DfuDevice::SetFaults(const Faults& faults) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
}

void DfuDevice::ForceState(DfuState state, DfuStatus status) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
    status_ = status;
    if (dfuMode_ != (state >= dfuIDLE)) ++enumerations_;
    dfuMode_ = state >= dfuIDLE;
}

bool DfuDevice::PresentLocked() {
    auto now = Clock::now();
    if (gone_ || now < absentUntil_) return false;
    // A detach that no reset followed in time lapses back to appIDLE.
    if (!dfuMode_ && state_ == appDETACH && now >= detachUntil_) state_ = appIDLE;
    // A self-starting device runs its new firmware once manifestation is over.
    const bool manifested = manifestDone_ && ((state_ == dfuMANIFEST && now >= busyUntil_) ||
                                              state_ == dfuMANIFEST_WAIT_RESET);
    if (config_.selfStartAfterManifest && dfuMode_ && manifested &&
        !(config_.attributes & kManifestationTolerant)) {
        if (faults_.noReturnAfterManifest) {
            gone_ = true;
            return false;
        }
        RunFirmwareOrStay();
        now = Clock::now();
        return now >= absentUntil_;
    }
    return true;
}

std::uint8_t DfuDevice::InterfaceNumberLocked() const {
    const int number = DfuInterfaceNumber(dfuMode_ ? config_.dfuLayout : config_.runtimeLayout,
                                          config_.interfaceNumber);
    return static_cast<std::uint8_t>(number < 0 ? 0xFF : number);
}

bool DfuDevice::Describe(Description& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!PresentLocked()) return false;
    const InterfaceLayout layout = dfuMode_ ? config_.dfuLayout : config_.runtimeLayout;
    if (DfuInterfaceNumber(layout, config_.interfaceNumber) < 0) return false;  // no DFU
    out.vendor = config_.vendor;
    out.product = dfuMode_ && config_.dfuProduct != 0 ? config_.dfuProduct : config_.product;
    out.release = config_.release;
    out.dfuMode = dfuMode_;
    out.interfaceNumber = InterfaceNumberLocked();
    out.attributes = config_.attributes;
    out.detachTimeoutMs = config_.detachTimeoutMs;
    out.transferSize = config_.transferSize;
    out.dfuVersion = 0x0110;
    return true;
}

void DfuDevice::Reenumerate(bool dfuMode) {
    ++enumerations_;
    dfuMode_ = dfuMode;
    absentUntil_ = Clock::now() + std::chrono::milliseconds(config_.reenumerateMs);
    state_ = dfuMode ? dfuIDLE : appIDLE;
    status_ = OK;
    statusString_ = 0;
    uploadOffset_ = 0;
    blocks_ = 0;
}

void DfuDevice::Fail(DfuStatus status, std::uint8_t string) {
    state_ = dfuERROR;
    status_ = status;
    statusString_ = string;
}

Transfer DfuDevice::Stall() {
    if (dfuMode_) Fail(errSTALLEDPKT);
    return Transfer::stall;
}

Transfer DfuDevice::Control(const Setup& setup, std::uint8_t* data, std::size_t& transferred) {
    std::lock_guard<std::mutex> lock(mutex_);
    transferred = 0;
    if (!PresentLocked()) return Transfer::gone;
    if (setup.requestType == kStandardDeviceIn || setup.requestType == kVendorDeviceIn) {
        return StandardRequest(setup, data, transferred);
    }
    const bool in = (setup.requestType & kDirectionIn) != 0;
    if ((setup.requestType & kTypeMask) != kTypeClass ||
        (setup.requestType & kRecipientMask) != kRecipientInterface ||
        setup.index != InterfaceNumberLocked() || in != IsInRequest(setup.request)) {
        return Stall();
    }
    return dfuMode_ ? DfuRequestLocked(setup, data, transferred)
                    : RuntimeRequest(setup, data, transferred);
}

// GET_DESCRIPTOR and the MS OS 2.0 vendor request. Refusing one stalls that request only: it
// has nothing to do with the DFU state.
Transfer DfuDevice::StandardRequest(const Setup& setup, std::uint8_t* data,
                                    std::size_t& transferred) {
    const UsbDescriptors& d = dfuMode_ ? dfuDescriptors_ : runtimeDescriptors_;
    if (setup.requestType == kVendorDeviceIn) {
        if (setup.request != kMsOs20VendorCode || setup.index != kMsOs20DescriptorIndex) {
            return Transfer::stall;
        }
        return Serve(d.msOs20, setup.length, data, transferred);
    }
    if (setup.request != kGetDescriptor) return Transfer::stall;
    const std::uint8_t type = static_cast<std::uint8_t>(setup.value >> 8);
    const std::uint8_t index = static_cast<std::uint8_t>(setup.value & 0xFF);
    switch (type) {
        case 0x01:
            return Serve(d.device, setup.length, data, transferred);
        case 0x02:
            return index == 0 ? Serve(d.configuration, setup.length, data, transferred)
                              : Transfer::stall;
        case kDescriptorString:
            return index < d.strings.size()
                       ? Serve(d.strings[index], setup.length, data, transferred)
                       : Transfer::stall;
        case kDescriptorBos:
            return Serve(d.bos, setup.length, data, transferred);
        default:
            return Transfer::stall;
    }
}

Transfer DfuDevice::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!PresentLocked()) return Transfer::gone;
    if (faults_.resetFails) return Transfer::error;
    if (!dfuMode_) {
        Reenumerate(state_ == appDETACH);
        return Transfer::ok;
    }
    if (faults_.noReturnAfterManifest && manifestDone_) {
        gone_ = true;
        if (faults_.strikeOnce) faults_.noReturnAfterManifest = false;
        return Transfer::ok;
    }
    RunFirmwareOrStay();
    return Transfer::ok;
}

void DfuDevice::RunFirmwareOrStay() {
    if (firmwareValid_) {
        Reenumerate(false);
    } else {
        // No usable firmware to run: the device stays in DFU mode and says why.
        Reenumerate(true);
        Fail(errFIRMWARE);
    }
}

void DfuDevice::Replug() {
    std::lock_guard<std::mutex> lock(mutex_);
    gone_ = false;
    manifestDone_ = false;
    RunFirmwareOrStay();
}

Transfer DfuDevice::Status(std::uint8_t* data, std::size_t& transferred, std::uint32_t pollMs) {
    const std::uint8_t reply[6] = {status_,
                                   static_cast<std::uint8_t>(pollMs & 0xFF),
                                   static_cast<std::uint8_t>((pollMs >> 8) & 0xFF),
                                   static_cast<std::uint8_t>((pollMs >> 16) & 0xFF),
                                   state_,
                                   statusString_};
    std::memcpy(data, reply, sizeof reply);
    transferred = sizeof reply;
    return Transfer::ok;
}

Transfer DfuDevice::RuntimeRequest(const Setup& setup, std::uint8_t* data,
                                   std::size_t& transferred) {
    switch (setup.request) {
        case DFU_GETSTATUS:
            if (setup.length < 6) return Transfer::stall;
            return Status(data, transferred, 0);
        case DFU_GETSTATE:
            if (setup.length < 1) return Transfer::stall;
            data[0] = state_;
            transferred = 1;
            return Transfer::ok;
        case DFU_DETACH:
            if (state_ != appIDLE) return Transfer::stall;
            state_ = appDETACH;
            detachUntil_ = Clock::now() + std::chrono::milliseconds(std::min<std::uint16_t>(
                                              setup.value, config_.detachTimeoutMs));
            if (config_.attributes & kWillDetach) Reenumerate(true);
            return Transfer::ok;
        default:
            return Transfer::stall;
    }
}

Transfer DfuDevice::DfuRequestLocked(const Setup& setup, std::uint8_t* data,
                                     std::size_t& transferred) {
    if (state_ == dfuDNBUSY || state_ == dfuMANIFEST) {
        if (Clock::now() < busyUntil_) {
            // The host did not wait bwPollTimeout: a real device would not answer.
            ++earlyPolls_;
            return Stall();
        }
        if (state_ == dfuDNBUSY) {
            state_ = dfuDNLOAD_SYNC;
        } else {
            state_ = (config_.attributes & kManifestationTolerant) ? dfuMANIFEST_SYNC
                                                                   : dfuMANIFEST_WAIT_RESET;
        }
    }
    if (state_ == dfuMANIFEST_WAIT_RESET) {
        // Only a USB reset helps; some devices still tell the host so.
        const bool asks = setup.request == DFU_GETSTATUS || setup.request == DFU_GETSTATE;
        if (!config_.statusInWaitReset || !asks) return Transfer::stall;
    }

    switch (setup.request) {
        case DFU_GETSTATUS:
            if (setup.length < 6) return Stall();
            return GetStatus(data, transferred);
        case DFU_GETSTATE:
            if (setup.length < 1) return Stall();
            data[0] = state_;
            transferred = 1;
            return Transfer::ok;
        case DFU_CLRSTATUS:
            if (state_ != dfuERROR) return Stall();
            state_ = dfuIDLE;
            status_ = OK;
            statusString_ = 0;
            return Transfer::ok;
        case DFU_ABORT:
            if (state_ != dfuIDLE && state_ != dfuDNLOAD_IDLE && state_ != dfuUPLOAD_IDLE) {
                return Stall();
            }
            state_ = dfuIDLE;
            return Transfer::ok;
        case DFU_DNLOAD:
            return Download(setup, data);
        case DFU_UPLOAD:
            return Upload(setup, data, transferred);
        default:
            return Stall();
    }
}

Transfer DfuDevice::Download(const Setup& setup, const std::uint8_t* data) {
    if (!(config_.attributes & kCanDownload) || setup.length > config_.transferSize) {
        return Stall();
    }
    if (state_ == dfuDNLOAD_IDLE && setup.length == 0) {
        // The request that ends the download carries the next block number like the others.
        if (setup.value != (blocks_ & 0xFFFF)) {
            Fail(errADDRESS);
            return Transfer::ok;
        }
        state_ = dfuMANIFEST_SYNC;
        manifestDone_ = false;
        return Transfer::ok;
    }
    if ((state_ != dfuIDLE && state_ != dfuDNLOAD_IDLE) || setup.length == 0) return Stall();
    if (state_ == dfuIDLE) {
        // A new download overwrites the firmware: until manifested there is none to run.
        flash_.clear();
        blocks_ = 0;
        firmwareValid_ = false;
        manifestDone_ = false;
    }
    const long index = static_cast<long>(blocks_);
    if (index == faults_.stallAtBlock) {
        if (faults_.strikeOnce) faults_.stallAtBlock = -1;
        return Stall();
    }
    blockError_ = OK;
    if (setup.value != (blocks_ & 0xFFFF) || flash_.size() + setup.length > config_.capacity) {
        blockError_ = errADDRESS;
    } else {
        flash_.insert(flash_.end(), data, data + setup.length);
    }
    ++blocks_;
    if (index == faults_.errorAtBlock) blockError_ = static_cast<DfuStatus>(faults_.errorStatus);
    if (index == faults_.goneAtBlock) {
        if (faults_.strikeOnce) faults_.goneAtBlock = -1;
        gone_ = true;
        return Transfer::gone;
    }
    const std::uint32_t poll = faults_.slowPollMs != 0 ? faults_.slowPollMs : config_.pollTimeoutMs;
    busyLeft_ = (poll > 0 ? 1u : 0u) + faults_.busyPolls;
    state_ = dfuDNLOAD_SYNC;
    return Transfer::ok;
}

Transfer DfuDevice::GetStatus(std::uint8_t* data, std::size_t& transferred) {
    if (state_ == dfuDNLOAD_SYNC) {
        if (blockError_ != OK) {
            const bool injected = faults_.errorAtBlock == static_cast<long>(blocks_) - 1;
            Fail(blockError_, injected ? faults_.errorString : 0);
            if (injected && faults_.strikeOnce) faults_.errorAtBlock = -1;
            blockError_ = OK;
            return Status(data, transferred, 0);
        }
        if (busyLeft_ > 0) {
            --busyLeft_;
            const std::uint32_t poll =
                faults_.slowPollMs != 0 ? faults_.slowPollMs : config_.pollTimeoutMs;
            state_ = dfuDNBUSY;
            busyUntil_ = Clock::now() + std::chrono::milliseconds(poll);
            return Status(data, transferred, poll);
        }
        state_ = dfuDNLOAD_IDLE;
        return Status(data, transferred, 0);
    }
    if (state_ == dfuMANIFEST_SYNC) {
        if (!manifestDone_) {
            firmwareValid_ = !faults_.rejectFirmware;
            manifestDone_ = true;
            ++manifestCount_;
            state_ = dfuMANIFEST;
            busyUntil_ = Clock::now() + std::chrono::milliseconds(config_.manifestPollTimeoutMs);
            return Status(data, transferred, config_.manifestPollTimeoutMs);
        }
        state_ = dfuIDLE;  // a tolerant device is back after manifestation
    }
    return Status(data, transferred, 0);
}

Transfer DfuDevice::Upload(const Setup& setup, std::uint8_t* data, std::size_t& transferred) {
    if (!(config_.attributes & kCanUpload) || setup.length > config_.transferSize) return Stall();
    if (state_ == dfuIDLE) {
        uploadOffset_ = 0;
        state_ = dfuUPLOAD_IDLE;
    } else if (state_ != dfuUPLOAD_IDLE) {
        return Stall();
    }
    if (faults_.goneAtUploadBlock >= 0 &&
        uploadOffset_ == static_cast<std::size_t>(faults_.goneAtUploadBlock) * setup.length) {
        gone_ = true;
        return Transfer::gone;
    }
    const std::size_t n = std::min<std::size_t>(setup.length, flash_.size() - uploadOffset_);
    if (n > 0) std::memcpy(data, flash_.data() + uploadOffset_, n);
    const std::size_t middle = flash_.size() / 2;
    if (faults_.verifyMismatch && n > 0 && uploadOffset_ <= middle && middle < uploadOffset_ + n) {
        data[middle - uploadOffset_] ^= 0xFF;
    }
    uploadOffset_ += n;
    transferred = n;
    if (n < setup.length) state_ = dfuIDLE;  // a short block ends the upload
    return Transfer::ok;
}

DfuState DfuDevice::State() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

bool DfuDevice::InDfuMode() {
    std::lock_guard<std::mutex> lock(mutex_);
    return dfuMode_;
}

std::vector<std::uint8_t> DfuDevice::Firmware() {
    std::lock_guard<std::mutex> lock(mutex_);
    return firmwareValid_ ? flash_ : std::vector<std::uint8_t>{};
}

std::string DfuDevice::FirmwareComment() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string comment;
    std::size_t payload = 0;
    if (firmwareValid_) dfufile::ParseImageHeader(flash_.data(), flash_.size(), comment, payload);
    return comment;
}

unsigned long DfuDevice::ManifestCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return manifestCount_;
}

unsigned long DfuDevice::EarlyPolls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return earlyPolls_;
}

unsigned long DfuDevice::EnumerationCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return enumerations_;
}

}  // namespace qvdfu
