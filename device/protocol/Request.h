// Request lines, tool to headset: "AT+QVCMD1=" code [,argument [,argument]] CR.
#pragma once

#include <cstdint>
#include <string>

namespace device {

// The control values a request can carry, as the settings pages hold them.
struct RequestValues {
    std::string SpeedDial1;  // codes 21, 22, 23: the number as typed, sent unchanged
    std::string SpeedDial2;
    std::string SpeedDial3;
    int32_t A2dpMixPercent = 0;   // code 24
    int32_t GpsMixPercent = 0;    // code 25, first argument
    int32_t GpsVoiceSharing = 0;  // code 25, second argument
};

// Requests are built in a 256-byte buffer: at most 255 bytes, terminator included.
constexpr size_t kMaxRequestLength = 255;

// The request line for a command code, carriage return included. Codes outside the command
// table use the plain form "AT+QVCMD1=%d\r". A speed dial so long that the line would exceed
// kMaxRequestLength is cut so that the carriage return still fits: a line without its
// terminator would never be answered.
std::string FormatRequest(int32_t code, const RequestValues& values);

}  // namespace device
