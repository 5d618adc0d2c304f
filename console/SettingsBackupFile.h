// The backup file of a headset's settings: a small text file, one "key=value" per line.
//
//   # KX-V5 settings, saved by qvdfu backup
//   format=1
//   speed_dial_1=+886912345678
//   speed_dial_2=
//   speed_dial_3=
//   a2dp_percent=50
//   gps_percent=70
//   voice_sharing=1
//
// Lines starting with '#' and empty lines are comments; line ends may be LF or CR LF; blanks
// around keys and values do not count, nor does a UTF-8 byte order mark at the start. "format=1"
// comes first. Every other key appears exactly once, in any order, and every value must be one the
// headset can take: speed dials of 0 to 16 characters 0-9 + * #, shares of 1 to 100 percent, voice
// sharing 0 or 1.
#pragma once

#include <cstddef>
#include <string>

#include "console/HeadsetValues.h"

namespace service {

// A backup file is never larger than this.
constexpr std::size_t kMaxBackupFileSize = 4096;

// The file's text for the settings; comment: further lines for the '#' header (may be empty).
std::string FormatSettingsBackup(const HeadsetSettings& settings, const std::string& comment);

// Reads a backup file's text. False with a message naming the line and what is wrong.
bool ParseSettingsBackup(const std::string& text, HeadsetSettings& settings, std::string& error);

}  // namespace service
