// What qvdfu reads from a headset: its identity and its settings.
#pragma once

#include <cstdint>
#include <string>

namespace service {

struct HeadsetIdentity {
    int32_t version = 0;  // 100 * major + minor
    std::string name;
    std::string address;
};

struct HeadsetSettings {
    std::string speedDial[3];
    int32_t a2dpPercent = 0;
    int32_t gpsPercent = 0;
    int32_t voiceSharing = 0;
};

}  // namespace service
