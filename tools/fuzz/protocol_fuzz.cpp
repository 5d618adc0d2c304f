// libFuzzer target for the reply side of the headset protocol: any bytes a device could send
// must classify and parse without fault, and the parsed reply must keep its limits.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "device/protocol/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const device::LineKind kind = device::ClassifyLine(line);
    const device::StatusReply reply = device::ParseStatusLine(line);

    if (reply.Text.size() > device::kMaxReplyText) std::abort();
    if (reply.Code < 0 || reply.Value1 < 0 || reply.Value2 < 0) std::abort();  // digits only
    if (kind != device::LineKind::Status &&
        (reply.Code != 0 || reply.Value1 != 0 || reply.Value2 != 0 || !reply.Text.empty())) {
        std::abort();
    }
    if (reply.Text.find_first_of(std::string_view("\r\0", 2)) != std::string::npos) std::abort();
    const std::string log = device::ReplyLogLine(reply);
    if (log.size() > 400) std::abort();
    (void)device::VersionLogText(reply.Value1);
    return 0;
}
