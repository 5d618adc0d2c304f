#include "device/protocol/Request.h"

#include <cstdio>

#include "device/protocol/CommandCodes.h"

namespace device {
namespace {

const char kPrefix[] = "AT+QVCMD1=";

std::string WithNumbers(int32_t code, int count, int32_t a, int32_t b) {
    char buffer[64];
    switch (count) {
        case 0:
            std::snprintf(buffer, sizeof buffer, "%s%d\r", kPrefix, code);
            break;
        case 1:
            std::snprintf(buffer, sizeof buffer, "%s%d,%d\r", kPrefix, code, a);
            break;
        default:
            std::snprintf(buffer, sizeof buffer, "%s%d,%d,%d\r", kPrefix, code, a, b);
            break;
    }
    return buffer;
}

std::string WithDial(int32_t code, const std::string& dial) {
    char head[32];
    std::snprintf(head, sizeof head, "%s%d,", kPrefix, code);
    std::string line = head;
    const size_t room = kMaxRequestLength - line.size() - 1;  // keep one byte for the CR
    line.append(dial, 0, room);
    line += '\r';
    return line;
}

}  // namespace

std::string FormatRequest(int32_t code, const RequestValues& values) {
    switch (code) {
        case UART_CMD_ASSIGN_SPEED_DIAL1:
            return WithDial(code, values.SpeedDial1);
        case UART_CMD_ASSIGN_SPEED_DIAL2:
            return WithDial(code, values.SpeedDial2);
        case UART_CMD_ASSIGN_SPEED_DIAL3:
            return WithDial(code, values.SpeedDial3);
        case UART_CMD_ASSIGN_MUSIC_MIX_SETTING:
            return WithNumbers(code, 1, values.A2dpMixPercent, 0);
        case UART_CMD_ASSIGN_GPS_MIX_SETTING:
            return WithNumbers(code, 2, values.GpsMixPercent, values.GpsVoiceSharing);
        default:
            return WithNumbers(code, 0, 0, 0);
    }
}

}  // namespace device
