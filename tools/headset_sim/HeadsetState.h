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

    enum class LoadResult {
        Loaded,   // the stored values replaced the fields the file names
        Missing,  // no file yet: nothing changed, the first Save creates it
        Refused,  // not a state file of ours, or unreadable: nothing changed, error says why
    };
    // Reads what Serialize wrote. Any line that is not one of our fields with a sound value
    // refuses the whole file, so that a mistyped path (a file of someone else's) is never
    // taken for settings and then overwritten by the next Save.
    LoadResult Load(const std::string& path, std::string& error);
    // Writes the file through a synced temporary file and a rename: after a crash or power
    // loss at any moment the file holds either the old or the new settings, never a part.
    bool Save(const std::string& path) const;

    bool operator==(const HeadsetState& other) const { return Serialize() == other.Serialize(); }
};

}  // namespace headsetsim
