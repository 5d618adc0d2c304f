#include "console/SettingsBackupFile.h"

#include "device/protocol/SettingRules.h"

namespace service {
namespace {

const char* const kKeys[] = {"speed_dial_1", "speed_dial_2", "speed_dial_3",
                             "a2dp_percent", "gps_percent",  "voice_sharing"};
constexpr int kKeyCount = 6;

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// 1 to 3 decimal digits, no sign.
bool SmallNumber(const std::string& text, int32_t& value) {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = static_cast<int32_t>(std::stol(text));
    return true;
}

// Checks and stores one value; "" when it is good, else what is wrong with it.
std::string Take(int key, const std::string& value, HeadsetSettings& settings) {
    if (key < 3) {
        switch (device::CheckSpeedDial(value)) {
            case device::SpeedDialProblem::BadCharacter:
                return "a speed dial holds only 0-9, +, * and #";
            case device::SpeedDialProblem::TooLong:
                return "a speed dial has at most " + std::to_string(device::kMaxSpeedDialLength) +
                       " characters";
            case device::SpeedDialProblem::None:
                break;
        }
        settings.speedDial[key] = value;
        return "";
    }
    int32_t number = 0;
    if (key == 5) {
        if (!SmallNumber(value, number) || !device::IsValidVoiceSharing(number))
            return "voice sharing is 0 (off) or 1 (on)";
        settings.voiceSharing = number;
        return "";
    }
    if (!SmallNumber(value, number) || !device::IsValidMixPercent(number))
        return "a share is a whole percent from 1 to 100";
    (key == 3 ? settings.a2dpPercent : settings.gpsPercent) = number;
    return "";
}

}  // namespace

std::string FormatSettingsBackup(const HeadsetSettings& settings, const std::string& comment) {
    std::string text = "# KX-V5 settings, saved by qvdfu backup\n";
    if (!comment.empty()) text += "# " + comment + "\n";
    text += "format=1\n";
    for (int i = 0; i < 3; ++i) text += std::string(kKeys[i]) + "=" + settings.speedDial[i] + "\n";
    text += "a2dp_percent=" + std::to_string(settings.a2dpPercent) + "\n";
    text += "gps_percent=" + std::to_string(settings.gpsPercent) + "\n";
    text += "voice_sharing=" + std::to_string(settings.voiceSharing) + "\n";
    return text;
}

bool ParseSettingsBackup(const std::string& text, HeadsetSettings& settings, std::string& error) {
    if (text.size() > kMaxBackupFileSize) {
        error = "not a backup file: larger than " + std::to_string(kMaxBackupFileSize) + " bytes";
        return false;
    }
    HeadsetSettings read;
    bool formatSeen = false;
    bool seen[kKeyCount] = {};
    // Notepad begins a file it saves as UTF-8 with a byte order mark.
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (int number = 1; start < text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string where = "line " + std::to_string(number) + ": ";
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        const size_t equals = trimmed.find('=');
        if (equals == std::string::npos) {
            error = where + "not key=value";
            return false;
        }
        const std::string key = Trim(trimmed.substr(0, equals));
        const std::string value = Trim(trimmed.substr(equals + 1));
        if (!formatSeen) {
            if (key != "format" || value != "1") {
                error = where + "a backup file begins with format=1";
                return false;
            }
            formatSeen = true;
            continue;
        }
        int index = -1;
        for (int k = 0; k < kKeyCount; ++k) {
            if (key == kKeys[k]) index = k;
        }
        if (index < 0) {
            error = where + "unknown key \"" + key + "\"";
            return false;
        }
        if (seen[index]) {
            error = where + key + " appears twice";
            return false;
        }
        seen[index] = true;
        const std::string problem = Take(index, value, read);
        if (!problem.empty()) {
            error = where + key + "=" + value.substr(0, 40) + ": " + problem;
            return false;
        }
    }
    if (!formatSeen) {
        error = "not a backup file: no format=1 line";
        return false;
    }
    for (int k = 0; k < kKeyCount; ++k) {
        if (!seen[k]) {
            error = std::string("the file lacks ") + kKeys[k];
            return false;
        }
    }
    settings = read;
    return true;
}

}  // namespace service
