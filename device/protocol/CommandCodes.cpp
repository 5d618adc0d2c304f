#include "device/protocol/CommandCodes.h"

namespace device {

PayloadKind PayloadKindOf(int32_t code) {
    switch (code) {
        case CMD_QUERY_DEVICE_NAME:
        case CMD_QUERY_BD_ADDRESS:
            return PayloadKind::FreeText;
        case UART_CMD_QUERY_SPEED_DIAL1:
        case UART_CMD_QUERY_SPEED_DIAL2:
        case UART_CMD_QUERY_SPEED_DIAL3:
        case UART_CMD_ASSIGN_SPEED_DIAL1:
        case UART_CMD_ASSIGN_SPEED_DIAL2:
        case UART_CMD_ASSIGN_SPEED_DIAL3:
            return PayloadKind::DialString;
        default:
            return PayloadKind::TwoNumbers;
    }
}

bool IsKnownCommand(int32_t code) {
    return CommandName(code)[0] != '\0';
}

const char* CommandName(int32_t code) {
    switch (code) {
        case UART_CMD_QUERY_SPEED_DIAL1:
            return "UART_CMD_QUERY_SPEED_DIAL1";
        case UART_CMD_QUERY_SPEED_DIAL2:
            return "UART_CMD_QUERY_SPEED_DIAL2";
        case UART_CMD_QUERY_SPEED_DIAL3:
            return "UART_CMD_QUERY_SPEED_DIAL3";
        case UART_CMD_QUERY_MUSIC_MIX_SETTING:
            return "UART_CMD_QUERY_MUSIC_MIX_SETTING";
        case UART_CMD_QUERY_GPS_MIX_SETTING:
            return "UART_CMD_QUERY_GPS_MIX_SETTING";
        case UART_CMD_QUERY_ID:
            return "UART_CMD_QUERY_ID";
        case UART_CMD_QUERY_FW_VERSION:
            return "UART_CMD_QUERY_FW_VERSION";
        case CMD_QUERY_DEVICE_NAME:
            return "CMD_QUERY_DEVICE_NAME";
        case CMD_QUERY_BD_ADDRESS:
            return "CMD_QUERY_BD_ADDRESS";
        case UART_CMD_ENTER_DFU_MODE:
            return "UART_CMD_ENTER_DFU_MODE";
        case UART_CMD_ASSIGN_SPEED_DIAL1:
            return "UART_CMD_ASSIGN_SPEED_DIAL1";
        case UART_CMD_ASSIGN_SPEED_DIAL2:
            return "UART_CMD_ASSIGN_SPEED_DIAL2";
        case UART_CMD_ASSIGN_SPEED_DIAL3:
            return "UART_CMD_ASSIGN_SPEED_DIAL3";
        case UART_CMD_ASSIGN_MUSIC_MIX_SETTING:
            return "UART_CMD_ASSIGN_MUSIC_MIX_SETTING";
        case UART_CMD_ASSIGN_GPS_MIX_SETTING:
            return "UART_CMD_ASSIGN_GPS_MIX_SETTING";
        case UART_CMD_RESTORE_DEFAULT_SETTING:
            return "UART_CMD_RESTORE_DEFAULT_SETTING";
        default:
            return "";
    }
}

}  // namespace device
