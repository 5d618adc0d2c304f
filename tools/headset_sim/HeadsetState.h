// What the simulated headset knows about itself and what it stores: identity, firmware
// version, name, address, and the user settings that survive a power cycle.
#pragma once

#include <cstdint>
#include <string>

namespace headsetsim {

struct HeadsetState {
    // Fixed by the device.
    int32_t IdentityValue2 = 1;  // the second value of the QUERY_ID reply
    int32_t FirmwareVersion = 102;
    std::string DeviceName = "KX-V5";
    std::string BdAddress = "00:1A:7D:DA:71:13";
    // User settings, reset by restore defaults.
    std::string SpeedDial1;
    std::string SpeedDial2;
    std::string SpeedDial3;
    int32_t A2dpMixPercent = 50;
    int32_t GpsMixPercent = 70;
    int32_t GpsVoiceSharing = 1;

    void RestoreDefaultSettings();

    // "key=value" lines, one per field.
    std::string Serialize() const;
    // Reads what Serialize wrote; unknown keys and malformed lines are skipped. False when
    // the file cannot be read.
    bool Load(const std::string& path);
    // Writes the file through a temporary file and a rename, so a reader never sees half.
    bool Save(const std::string& path) const;

    bool operator==(const HeadsetState& other) const { return Serialize() == other.Serialize(); }
};

}  // namespace headsetsim
