#include "HeadsetState.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace headsetsim {

void HeadsetState::RestoreDefaultSettings() {
    const HeadsetState defaults;
    SpeedDial1 = defaults.SpeedDial1;
    SpeedDial2 = defaults.SpeedDial2;
    SpeedDial3 = defaults.SpeedDial3;
    A2dpMixPercent = defaults.A2dpMixPercent;
    GpsMixPercent = defaults.GpsMixPercent;
    GpsVoiceSharing = defaults.GpsVoiceSharing;
}

std::string HeadsetState::Serialize() const {
    std::ostringstream out;
    out << "IdentityValue2=" << IdentityValue2 << '\n'
        << "FirmwareVersion=" << FirmwareVersion << '\n'
        << "DeviceName=" << DeviceName << '\n'
        << "BdAddress=" << BdAddress << '\n'
        << "SpeedDial1=" << SpeedDial1 << '\n'
        << "SpeedDial2=" << SpeedDial2 << '\n'
        << "SpeedDial3=" << SpeedDial3 << '\n'
        << "A2dpMixPercent=" << A2dpMixPercent << '\n'
        << "GpsMixPercent=" << GpsMixPercent << '\n'
        << "GpsVoiceSharing=" << GpsVoiceSharing << '\n';
    return out.str();
}

bool HeadsetState::Load(const std::string& path) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        const int32_t number = static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 10));
        if (key == "IdentityValue2")
            IdentityValue2 = number;
        else if (key == "FirmwareVersion")
            FirmwareVersion = number;
        else if (key == "DeviceName")
            DeviceName = value;
        else if (key == "BdAddress")
            BdAddress = value;
        else if (key == "SpeedDial1")
            SpeedDial1 = value;
        else if (key == "SpeedDial2")
            SpeedDial2 = value;
        else if (key == "SpeedDial3")
            SpeedDial3 = value;
        else if (key == "A2dpMixPercent")
            A2dpMixPercent = number;
        else if (key == "GpsMixPercent")
            GpsMixPercent = number;
        else if (key == "GpsVoiceSharing")
            GpsVoiceSharing = number;
    }
    return true;
}

bool HeadsetState::Save(const std::string& path) const {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!out) return false;
        out << Serialize();
        if (!out.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace headsetsim
