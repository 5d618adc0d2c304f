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

bool IsInRequest(std::uint8_t request) {
    return request == DFU_UPLOAD || request == DFU_GETSTATUS || request == DFU_GETSTATE;
}

}  // namespace

DfuDevice::DfuDevice(DeviceConfig config)
    : config_(std::move(config)),
      dfuMode_(config_.startInDfuMode),
      firmwareValid_(!config_.image.empty()),
      state_(config_.startInDfuMode ? dfuIDLE : appIDLE),
      flash_(config_.image) {}

void DfuDevice::SetFaults(const Faults& faults) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
}

void DfuDevice::ForceState(DfuState state, DfuStatus status) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
    status_ = status;
    dfuMode_ = state >= dfuIDLE;
}

bool DfuDevice::PresentLocked() {
    const auto now = Clock::now();
    if (gone_ || now < absentUntil_) return false;
    // A detach that no reset followed in time lapses back to appIDLE.
    if (!dfuMode_ && state_ == appDETACH && now >= detachUntil_) state_ = appIDLE;
    return true;
}

bool DfuDevice::Describe(Description& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!PresentLocked()) return false;
    out.vendor = config_.vendor;
    out.product = config_.product;
    out.release = config_.release;
    out.dfuMode = dfuMode_;
    out.interfaceNumber = config_.interfaceNumber;
    out.attributes = config_.attributes;
    out.detachTimeoutMs = config_.detachTimeoutMs;
    out.transferSize = config_.transferSize;
    out.dfuVersion = 0x0110;
    return true;
}

void DfuDevice::Reenumerate(bool dfuMode) {
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
    const bool in = (setup.requestType & kDirectionIn) != 0;
    if ((setup.requestType & kTypeMask) != kTypeClass ||
        (setup.requestType & kRecipientMask) != kRecipientInterface ||
        setup.index != config_.interfaceNumber || in != IsInRequest(setup.request)) {
        return Stall();
    }
    return dfuMode_ ? DfuRequestLocked(setup, data, transferred)
                    : RuntimeRequest(setup, data, transferred);
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
            firmwareValid_ = true;
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

}  // namespace qvdfu
