// The log line written for an accepted reply, and the firmware version texts.
#pragma once

#include <cstdint>
#include <string>

#include "device/protocol/StatusLine.h"

namespace device {

// A firmware version number V = 100 * major + minor.
struct FirmwareVersion {
    int32_t Major = 0;
    int32_t Minor = 0;
};

FirmwareVersion FormatVersion(int32_t version);

// "%d.%02d", as the log shows it: 102 gives "1.02".
std::string VersionLogText(int32_t version);

// " V%d.%02d", appended to the "Firmware version:" caption: 102 gives " V1.02".
std::string VersionLabelSuffix(int32_t version);

// The log line for an accepted reply, by its code ("UART_CMD_QUERY_ID Signature = 84894534").
// Empty for a code outside the command table, which is never accepted.
std::string ReplyLogLine(const StatusReply& reply);

}  // namespace device
