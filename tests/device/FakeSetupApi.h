// A model of the device-setup library and the registry for the Windows port discovery, linked
// in place of device/ports/SetupApi_win.cpp. It holds the present members of the "Ports"
// class and the serial device map, answers each call as the documentation describes (pages
// cited in FakeSetupApi.cpp), and records what is opened and not closed.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace fake_setup {

// A registry value or device property as stored: its type and its bytes, which for REG_SZ
// need not end with a zero (a stored string may lack its terminator).
struct Value {
    DWORD type = REG_SZ;
    std::string bytes;
};

// A text stored with its terminating zero.
Value Text(const std::string& text);

struct Device {
    bool keyOpens = true;              // its hardware key (DIREG_DEV) can be opened
    std::optional<Value> portName;     // the key's "PortName" value
    std::optional<Value> description;  // the SPDRP_DEVICEDESC property
    std::optional<Value> hardwareIds;  // the SPDRP_HARDWAREID property (REG_MULTI_SZ)
};

struct Model {
    bool libraryLoads = true;     // the setup library and its five entries are there
    int portsClasses = 1;         // setup classes named "Ports"
    bool deviceListOpens = true;  // SetupDiGetClassDevsA gives a list
    std::vector<Device> devices;  // the present members of the first "Ports" class
    // HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: value name and value; none: the key is missing.
    std::optional<std::vector<std::pair<std::string, Value>>> deviceMap =
        std::vector<std::pair<std::string, Value>>{};

    // What the discovery did.
    int openKeys = 0;   // registry keys opened and not yet closed
    int openLists = 0;  // device lists made and not yet freed
    int listsMade = 0;
    int deviceMapReads = 0;  // openings of the serial device map
};

// The model the calls answer from; Reset() before each test.
Model& State();
void Reset();

}  // namespace fake_setup
