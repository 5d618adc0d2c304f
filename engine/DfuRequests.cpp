// DFU 1.1 class requests (bmRequestType 0x21 out / 0xA1 in, to the DFU interface).
#include "DfuRequests.h"

namespace dfuengine {
namespace {

constexpr std::uint8_t kOut = 0x21;
constexpr std::uint8_t kIn = 0xA1;
enum : std::uint8_t {
    kDetach = 0,
    kDnload = 1,
    kUpload = 2,
    kGetStatus = 3,
    kClrStatus = 4,
    kGetState = 5,
    kAbort = 6
};

}  // namespace

Code ResultFromDfuStatus(std::uint8_t status, std::uint8_t string) {
    constexpr std::uint8_t kErrVendor = 0x0B;
    if (status == 0) return DFUEngine::success;
    if (status > 0x0F) return DFUEngine::fail_dfu_unknown;
    if (status < kErrVendor) return static_cast<Code>(DFUEngine::fail_dfu_target + (status - 1));
    if (status == kErrVendor) {
        return string != 0 ? DFUEngine::fail_dfu_vendor_str : DFUEngine::fail_dfu_vendor_num;
    }
    // errUSBR..errSTALLEDPKT follow the two vendor codes.
    return static_cast<Code>(DFUEngine::fail_dfu_usbr + (status - 0x0C));
}

Code DfuRequests::Explain(UsbResult result) {
    switch (result) {
        case UsbResult::ok:
            return DFUEngine::success;
        case UsbResult::gone:
            return DFUEngine::fail_usb_none;
        case UsbResult::refused:
        case UsbResult::error:
            return DFUEngine::fail_os;
        case UsbResult::stall:
            break;
    }
    // The device refused the request: its status usually says why (errSTALLEDPKT at least).
    DfuStatusReply reply;
    const Code code = GetStatus(reply);
    if (code == DFUEngine::success && reply.status != 0) return ResultFromDfuStatus(reply);
    return DFUEngine::fail_dfu_stalledpkt;
}

Code DfuRequests::Out(std::uint8_t request, std::uint16_t value, const std::uint8_t* data,
                      std::uint16_t length) {
    UsbSetup setup;
    setup.requestType = kOut;
    setup.request = request;
    setup.value = value;
    setup.index = interface_;
    setup.length = length;
    std::size_t transferred = 0;
    return Explain(device_.Control(setup, const_cast<std::uint8_t*>(data), transferred));
}

Code DfuRequests::Detach(std::uint16_t timeoutMs) {
    return Out(kDetach, timeoutMs, nullptr, 0);
}

Code DfuRequests::Download(std::uint16_t block, const std::uint8_t* data, std::uint16_t length) {
    return Out(kDnload, block, data, length);
}

Code DfuRequests::ClearStatus() {
    return Out(kClrStatus, 0, nullptr, 0);
}

Code DfuRequests::Abort() {
    return Out(kAbort, 0, nullptr, 0);
}

Code DfuRequests::Upload(std::uint16_t block, std::uint8_t* data, std::uint16_t length,
                         std::size_t& received) {
    UsbSetup setup;
    setup.requestType = kIn;
    setup.request = kUpload;
    setup.value = block;
    setup.index = interface_;
    setup.length = length;
    return Explain(device_.Control(setup, data, received));
}

Code DfuRequests::GetStatus(DfuStatusReply& reply) {
    UsbSetup setup;
    setup.requestType = kIn;
    setup.request = kGetStatus;
    setup.index = interface_;
    setup.length = 6;
    std::uint8_t data[6] = {};
    std::size_t received = 0;
    const UsbResult result = device_.Control(setup, data, received);
    if (result == UsbResult::gone) return DFUEngine::fail_usb_none;
    if (result == UsbResult::stall) return DFUEngine::fail_dfu_stalledpkt;
    if (result != UsbResult::ok) return DFUEngine::fail_os;
    if (received < 6) return DFUEngine::fail_reply_short;
    reply.status = data[0];
    reply.pollTimeoutMs = static_cast<std::uint32_t>(data[1]) | (data[2] << 8) | (data[3] << 16);
    reply.state = data[4];
    reply.string = data[5];
    return DFUEngine::success;
}

}  // namespace dfuengine
