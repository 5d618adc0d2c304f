// Which serial ports qvdfu may ask whether a headset is there: only USB devices, known by
// their description or by the headset's USB IDs, never modems or other serial devices. On
// Linux the headset's own /dev/ttyACM* or /dev/ttyUSB* is found by its USB IDs in sysfs. Where
// the system cannot tell (Wine's port list carries no descriptions), the ports named in
// QV_HEADSET_PORTS (separated by ';') are taken as well.
#pragma once

#include <string>
#include <vector>

#include "device/ports/PortBackend.h"

namespace service {

struct ListedPort {
    std::string name;
    std::string description;
    bool mayAsk = false;
};

// A port the headset may be on: its description mentions USB (any case), or its device has
// the headset's USB IDs, or it is among the named ports.
bool MayAskPort(const device::FoundPort& port, const std::vector<std::string>& namedPorts);

// A USB serial tty of the system (/dev/ttyACM*, /dev/ttyUSB*) is asked only when its device
// has the headset's USB IDs, or it is named: other USB serial devices (modems, boards) are
// never written to.
bool MayAskTty(const device::FoundPort& port, const std::vector<std::string>& namedPorts);

// The COM ports present now, sorted by number; elsewhere than on Windows, the system's USB
// serial ttys after them (by their /dev path).
std::vector<ListedPort> ListSerialPorts();

// The names in QV_HEADSET_PORTS.
std::vector<std::string> NamedHeadsetPorts();

// Text split at a separator, empty pieces left out.
std::vector<std::string> SplitList(const std::string& text, char separator);

}  // namespace service
