// libFuzzer target for qvdfu's settings backup file reader: a file a user edited, or a
// half-written one, must be read or refused without fault. A file it accepts holds only
// values the headset can take, and what qvdfu would write for them reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/SettingsBackupFile.h"
#include "device/protocol/SettingRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    service::HeadsetSettings settings;
    std::string error;
    if (!service::ParseSettingsBackup(text, settings, error)) {
        if (error.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    for (const std::string& dial : settings.speedDial) {
        if (device::CheckSpeedDial(dial) != device::SpeedDialProblem::None) std::abort();
    }
    if (!device::IsValidMixPercent(settings.a2dpPercent) ||
        !device::IsValidMixPercent(settings.gpsPercent) ||
        !device::IsValidVoiceSharing(settings.voiceSharing)) {
        std::abort();
    }
    service::HeadsetSettings again;
    if (!service::ParseSettingsBackup(service::FormatSettingsBackup(settings, "again"), again,
                                      error)) {
        std::abort();
    }
    for (int i = 0; i < 3; ++i) {
        if (again.speedDial[i] != settings.speedDial[i]) std::abort();
    }
    if (again.a2dpPercent != settings.a2dpPercent || again.gpsPercent != settings.gpsPercent ||
        again.voiceSharing != settings.voiceSharing) {
        std::abort();
    }
    return 0;
}
