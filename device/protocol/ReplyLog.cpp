#include "device/protocol/ReplyLog.h"

#include <cstdarg>
#include <cstdio>

#include "device/protocol/CommandCodes.h"

namespace device {
namespace {

// Text is at most 255 bytes, so 512 bytes hold every log line.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Format(const char* pattern, ...) {
    char buffer[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return buffer;
}

}  // namespace

FirmwareVersion FormatVersion(int32_t version) {
    return {version / 100, version % 100};
}

std::string VersionLogText(int32_t version) {
    const FirmwareVersion v = FormatVersion(version);
    return Format("%d.%02d", v.Major, v.Minor);
}

std::string VersionLabelSuffix(int32_t version) {
    const FirmwareVersion v = FormatVersion(version);
    return Format(" V%d.%02d", v.Major, v.Minor);
}

std::string ReplyLogLine(const StatusReply& reply) {
    const char* name = CommandName(reply.Code);
    const char* text = reply.Text.c_str();
    if (PayloadKindOf(reply.Code) == PayloadKind::DialString) {
        return Format("%s Phone_Number = '%s'", name, text);
    }
    switch (reply.Code) {
        case UART_CMD_QUERY_ID:
            return Format("%s Signature = %d", name, reply.Value1);
        case UART_CMD_QUERY_FW_VERSION:
            return Format("%s Ver = %s", name, VersionLogText(reply.Value1).c_str());
        case CMD_QUERY_DEVICE_NAME:
            return Format("%s DeviceName = %s", name, text);
        case CMD_QUERY_BD_ADDRESS:
            return Format("%s Addr = %s", name, text);
        case UART_CMD_QUERY_MUSIC_MIX_SETTING:
        case UART_CMD_ASSIGN_MUSIC_MIX_SETTING:
            return Format("%s Percentage = %d %%", name, reply.Value1);
        case UART_CMD_QUERY_GPS_MIX_SETTING:
        case UART_CMD_ASSIGN_GPS_MIX_SETTING:
            return Format("%s Percentage = %d VoiceSharing = %d", name, reply.Value1, reply.Value2);
        case UART_CMD_ENTER_DFU_MODE:
        case UART_CMD_RESTORE_DEFAULT_SETTING:
            return Format("%s OK.", name);
        default:
            return std::string();
    }
}

}  // namespace device
