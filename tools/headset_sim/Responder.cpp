#include "Responder.h"

#include <cstdint>
#include <cstdlib>

#include "device/protocol/CommandCodes.h"
#include "device/protocol/StatusLine.h"

namespace headsetsim {
namespace {

using namespace device;

std::string Status(int32_t code, const std::string& payload = std::string()) {
    std::string line = "+QVSTS1=" + std::to_string(code);
    if (!payload.empty()) line += "," + payload;
    return line;
}

// The device keeps the leading run of dial characters, at most 16 of them.
std::string DialOf(const std::string& argument) {
    size_t length = 0;
    while (length < argument.size() && length < 16 && IsDialChar(argument[length])) ++length;
    return argument.substr(0, length);
}

// A whole signed decimal in the 32-bit range; anything else is not a setting the device takes.
bool NumberOf(const std::string& argument, int32_t& value) {
    size_t pos = argument.size() > 1 && argument[0] == '-' ? 1 : 0;
    if (pos == argument.size()) return false;
    int64_t number = 0;
    for (; pos < argument.size(); ++pos) {
        if (argument[pos] < '0' || argument[pos] > '9') return false;
        number = number * 10 + (argument[pos] - '0');
        if (number > int64_t{INT32_MAX} + 1) return false;
    }
    if (argument[0] == '-') number = -number;
    if (number < INT32_MIN || number > INT32_MAX) return false;
    value = static_cast<int32_t>(number);
    return true;
}

std::string& DialSlot(HeadsetState& state, int32_t code) {
    switch (code) {
        case UART_CMD_QUERY_SPEED_DIAL1:
        case UART_CMD_ASSIGN_SPEED_DIAL1:
            return state.SpeedDial1;
        case UART_CMD_QUERY_SPEED_DIAL2:
        case UART_CMD_ASSIGN_SPEED_DIAL2:
            return state.SpeedDial2;
        default:
            return state.SpeedDial3;
    }
}

const std::string& DialSlot(const HeadsetState& state, int32_t code) {
    return DialSlot(const_cast<HeadsetState&>(state), code);  // only read through the result
}

}  // namespace

std::string StatusLineFor(int32_t code, const HeadsetState& state, int32_t signature) {
    if (PayloadKindOf(code) == PayloadKind::DialString) {
        return Status(code, DialSlot(state, code));
    }
    switch (code) {
        case UART_CMD_QUERY_ID:
            return Status(code,
                          std::to_string(signature) + "," + std::to_string(state.IdentityValue2));
        case UART_CMD_QUERY_FW_VERSION:
            return Status(code, std::to_string(state.FirmwareVersion));
        case CMD_QUERY_DEVICE_NAME:
            return Status(code, state.DeviceName);
        case CMD_QUERY_BD_ADDRESS:
            return Status(code, state.BdAddress);
        case UART_CMD_QUERY_MUSIC_MIX_SETTING:
        case UART_CMD_ASSIGN_MUSIC_MIX_SETTING:
            return Status(code, std::to_string(state.A2dpMixPercent));
        case UART_CMD_QUERY_GPS_MIX_SETTING:
        case UART_CMD_ASSIGN_GPS_MIX_SETTING:
            return Status(code, std::to_string(state.GpsMixPercent) + "," +
                                    std::to_string(state.GpsVoiceSharing));
        case UART_CMD_ENTER_DFU_MODE:
        case UART_CMD_RESTORE_DEFAULT_SETTING:
            return Status(code);
        default:
            return std::string();
    }
}

Response Respond(const Request& request, HeadsetState& state) {
    Response response;
    if (!request.Valid || !IsKnownCommand(request.Code)) return response;
    const int32_t code = request.Code;
    const auto& args = request.Arguments;
    const std::string first = args.empty() ? std::string() : args[0];

    switch (code) {
        case UART_CMD_ASSIGN_SPEED_DIAL1:
        case UART_CMD_ASSIGN_SPEED_DIAL2:
        case UART_CMD_ASSIGN_SPEED_DIAL3:
            if (args.size() != 1) return response;
            DialSlot(state, code) = DialOf(first);
            response.StateChanged = true;
            break;
        case UART_CMD_ASSIGN_MUSIC_MIX_SETTING:
            // A malformed value is refused whole: the stored setting stays.
            if (args.size() != 1 || !NumberOf(first, state.A2dpMixPercent)) return response;
            response.StateChanged = true;
            break;
        case UART_CMD_ASSIGN_GPS_MIX_SETTING: {
            int32_t percent = 0;
            int32_t sharing = 0;
            if (args.size() != 2 || !NumberOf(first, percent) || !NumberOf(args[1], sharing)) {
                return response;
            }
            state.GpsMixPercent = percent;
            state.GpsVoiceSharing = sharing;
            response.StateChanged = true;
            break;
        }
        case UART_CMD_RESTORE_DEFAULT_SETTING:
            if (!args.empty()) return response;  // not a request it knows: nothing is reset
            state.RestoreDefaultSettings();
            response.StateChanged = true;
            break;
        case UART_CMD_ENTER_DFU_MODE:
            response.EnterDfuMode = true;
            break;
        default:
            break;
    }
    if (!response.StateChanged && !args.empty()) return Response();  // a query with arguments
    response.Acknowledged = true;
    response.StatusLine = StatusLineFor(code, state, kIdentitySignature);
    return response;
}

}  // namespace headsetsim
