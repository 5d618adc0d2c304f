// The command codes of the headset's serial protocol, their names and payload kinds.
#pragma once

#include <cstdint>

namespace device {

enum CommandCode : int32_t {
    UART_CMD_QUERY_SPEED_DIAL1 = 1,
    UART_CMD_QUERY_SPEED_DIAL2 = 2,
    UART_CMD_QUERY_SPEED_DIAL3 = 3,
    UART_CMD_QUERY_MUSIC_MIX_SETTING = 4,
    UART_CMD_QUERY_GPS_MIX_SETTING = 5,
    UART_CMD_QUERY_ID = 7,
    UART_CMD_QUERY_FW_VERSION = 8,
    CMD_QUERY_DEVICE_NAME = 9,
    CMD_QUERY_BD_ADDRESS = 10,
    UART_CMD_ENTER_DFU_MODE = 20,
    UART_CMD_ASSIGN_SPEED_DIAL1 = 21,
    UART_CMD_ASSIGN_SPEED_DIAL2 = 22,
    UART_CMD_ASSIGN_SPEED_DIAL3 = 23,
    UART_CMD_ASSIGN_MUSIC_MIX_SETTING = 24,
    UART_CMD_ASSIGN_GPS_MIX_SETTING = 25,
    UART_CMD_RESTORE_DEFAULT_SETTING = 27,
};

// Value1 of a QUERY_ID reply from a genuine KX-V5 (0x050F6346).
constexpr int32_t kIdentitySignature = 84894534;

// What follows the code in a status line.
enum class PayloadKind {
    FreeText,    // the rest of the line, unchanged (device name, address)
    DialString,  // the longest run of dial characters
    TwoNumbers,  // two decimal digit runs
};

PayloadKind PayloadKindOf(int32_t code);

// True for the sixteen codes the tool sends; a reply with any other code is never accepted.
bool IsKnownCommand(int32_t code);

// The command's name as it appears in the log ("UART_CMD_QUERY_ID"); empty for other codes.
const char* CommandName(int32_t code);

}  // namespace device
