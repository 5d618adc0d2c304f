// Host side of the DFU wire protocol.
#include "WireDevice.h"

#include <cstring>

#include "WireProtocol.h"

namespace dfuengine {
namespace {

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

UsbResult ResultOf(std::uint8_t status) {
    switch (status) {
        case dfuwire::kOk:
            return UsbResult::ok;
        case dfuwire::kGone:
            return UsbResult::gone;
        case dfuwire::kStall:
            return UsbResult::stall;
        default:
            return UsbResult::error;
    }
}

}  // namespace

bool DecodeDescription(const std::uint8_t* p, std::size_t size, DfuDescription& out) {
    if (size != dfuwire::kDescriptionLength || (p[6] != 1 && p[6] != 2)) return false;
    out.vendor = Le16(p);
    out.product = Le16(p + 2);
    out.release = Le16(p + 4);
    out.dfuMode = p[6] == 2;
    out.interfaceNumber = p[7];
    out.attributes = p[8];
    out.detachTimeoutMs = Le16(p + 9);
    out.transferSize = Le16(p + 11);
    out.dfuVersion = Le16(p + 13);
    return true;
}

bool WireDevice::Describe(DfuDescription& out) {
    request_.assign(1, dfuwire::kOpDescribe);
    if (!Exchange(request_, reply_) || reply_.empty() || reply_[0] != dfuwire::kOk) return false;
    return DecodeDescription(reply_.data() + 1, reply_.size() - 1, out);
}

UsbResult WireDevice::Control(const UsbSetup& setup, std::uint8_t* data, std::size_t& transferred) {
    transferred = 0;
    const bool in = (setup.requestType & 0x80) != 0;
    request_.resize(9 + (in ? 0 : setup.length));
    request_[0] = dfuwire::kOpControl;
    request_[1] = setup.requestType;
    request_[2] = setup.request;
    request_[3] = static_cast<std::uint8_t>(setup.value & 0xFF);
    request_[4] = static_cast<std::uint8_t>(setup.value >> 8);
    request_[5] = static_cast<std::uint8_t>(setup.index & 0xFF);
    request_[6] = static_cast<std::uint8_t>(setup.index >> 8);
    request_[7] = static_cast<std::uint8_t>(setup.length & 0xFF);
    request_[8] = static_cast<std::uint8_t>(setup.length >> 8);
    if (!in && setup.length > 0) std::memcpy(request_.data() + 9, data, setup.length);
    if (!Exchange(request_, reply_)) return UsbResult::gone;
    if (reply_.empty()) return UsbResult::error;
    const UsbResult result = ResultOf(reply_[0]);
    if (result != UsbResult::ok) return result;
    const std::size_t n = reply_.size() - 1;
    // A device never sends more than was asked for, nor data for an OUT request.
    if (n > (in ? setup.length : 0u)) return UsbResult::error;
    if (n > 0) std::memcpy(data, reply_.data() + 1, n);
    transferred = n;
    return UsbResult::ok;
}

UsbResult WireDevice::Reset() {
    request_.assign(1, dfuwire::kOpReset);
    if (!Exchange(request_, reply_)) return UsbResult::gone;
    if (reply_.empty()) return UsbResult::error;
    // "Failed otherwise" answers a reset the host may not do.
    return reply_[0] == dfuwire::kFailed ? UsbResult::refused : ResultOf(reply_[0]);
}

}  // namespace dfuengine
