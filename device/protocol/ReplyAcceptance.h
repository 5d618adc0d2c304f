// Which received status line answers the awaited request: one request at a time, and only
// the status line of its own code after its "OK".
#pragma once

#include <cstdint>

#include "device/protocol/StatusLine.h"

namespace device {

// True when reply answers the request for pendingCode: the acknowledgement has come, the code
// is that request's and one the tool sends (the idle marker 9999 is not), and a QUERY_ID
// reply carries the identity signature.
bool AcceptsReply(const StatusReply& reply, int32_t pendingCode, bool okReceived);

}  // namespace device
