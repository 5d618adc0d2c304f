// The DFU 1.1 class requests on an opened device, and how their failures map to result codes.
#pragma once

#include <cstdint>

#include "DFUEngine.h"
#include "transport/Transport.h"

namespace dfuengine {

using Code = DFUEngine::ResultCode;

enum DfuStateCode : std::uint8_t {
    kAppIdle = 0,
    kAppDetach = 1,
    kDfuIdle = 2,
    kDfuDnloadSync = 3,
    kDfuDnbusy = 4,
    kDfuDnloadIdle = 5,
    kDfuManifestSync = 6,
    kDfuManifest = 7,
    kDfuManifestWaitReset = 8,
    kDfuUploadIdle = 9,
    kDfuError = 10,
};

struct DfuStatusReply {
    std::uint8_t status = 0;
    std::uint32_t pollTimeoutMs = 0;
    std::uint8_t state = 0;
    std::uint8_t string = 0;  // iString: a string descriptor describing the status, or 0
};

// bStatus errTARGET..errSTALLEDPKT -> fail_dfu_target..fail_dfu_stalledpkt; OK -> success.
// errVENDOR is fail_dfu_vendor_str when the device names a string for it, else _vendor_num.
Code ResultFromDfuStatus(std::uint8_t status, std::uint8_t string = 0);
inline Code ResultFromDfuStatus(const DfuStatusReply& reply) {
    return ResultFromDfuStatus(reply.status, reply.string);
}

class DfuRequests {
  public:
    DfuRequests(UsbDevice& device, std::uint8_t interfaceNumber)
        : device_(device), interface_(interfaceNumber) {}

    Code Detach(std::uint16_t timeoutMs);
    Code Download(std::uint16_t block, const std::uint8_t* data, std::uint16_t length);
    Code Upload(std::uint16_t block, std::uint8_t* data, std::uint16_t length,
                std::size_t& received);
    Code GetStatus(DfuStatusReply& reply);
    Code ClearStatus();
    Code Abort();

  private:
    Code Out(std::uint8_t request, std::uint16_t value, const std::uint8_t* data,
             std::uint16_t length);
    // A failed transfer as a result code; a stall is explained by the device's status.
    Code Explain(UsbResult result);

    UsbDevice& device_;
    std::uint8_t interface_;
};

}  // namespace dfuengine
