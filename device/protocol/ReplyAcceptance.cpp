#include "device/protocol/ReplyAcceptance.h"

#include "device/protocol/CommandCodes.h"

namespace device {

bool AcceptsReply(const StatusReply& reply, int32_t pendingCode, bool okReceived) {
    if (!okReceived || reply.Code != pendingCode || !IsKnownCommand(reply.Code)) return false;
    return reply.Code != UART_CMD_QUERY_ID || reply.Value1 == kIdentitySignature;
}

}  // namespace device
