// The ports of a Windows system: the present members of the "Ports" setup class, read through
// the device-setup library loaded from the system directory at each enumeration (its calls and
// the registry's go through SetupApi_win.h, which tests replace). When that
// lists no COM port (Wine's setup library lists none, even for mapped ports) or cannot be
// used at all, the serial device map of the registry is read instead, without descriptions,
// so that a port which exists can always be reached.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "device/ports/ComPortEnumeration.h"
#include "device/ports/PortBackend.h"
#include "device/ports/SetupApi_win.h"

namespace device {
namespace {

// The "PortName" value of a device's hardware key; empty when it cannot be read.
std::string ReadPortName(HKEY key) {
    DWORD type = 0;
    DWORD size = 0;
    if (portapi::RegQueryValueExA(key, "PortName", nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    std::vector<BYTE> buffer(size + 1, 0);
    DWORD returned = size + 1;
    if (portapi::RegQueryValueExA(key, "PortName", nullptr, &type, buffer.data(), &returned) !=
            ERROR_SUCCESS ||
        type != REG_SZ || returned >= buffer.size()) {
        return {};
    }
    // The stored value may lack its terminating zero.
    return std::string(reinterpret_cast<const char*>(buffer.data()));
}

std::string ReadDescription(HDEVINFO devices, SP_DEVINFO_DATA& info) {
    constexpr DWORD kDescriptionBytes = 1024;
    // One byte more than the property may fill: the text stays terminated even when the
    // stored value lacks its terminating zero.
    char buffer[kDescriptionBytes + 1] = {};
    DWORD type = 0;
    if (!portapi::SetupDiGetDeviceRegistryPropertyA(devices, &info, SPDRP_DEVICEDESC, &type,
                                                    reinterpret_cast<PBYTE>(buffer),
                                                    kDescriptionBytes, nullptr) ||
        type != REG_SZ) {
        return {};
    }
    return buffer;
}

// The USB vendor and product IDs in a device's hardware IDs ("USB\\VID_1209&PID_4B58&REV_0100"
// and the shorter forms after it); both stay 0 when the device is not on USB.
void ReadUsbIds(HDEVINFO devices, SP_DEVINFO_DATA& info, FoundPort& port) {
    char buffer[1024 + 2] = {};
    DWORD type = 0;
    if (!portapi::SetupDiGetDeviceRegistryPropertyA(devices, &info, SPDRP_HARDWAREID, &type,
                                                    reinterpret_cast<PBYTE>(buffer), 1024,
                                                    nullptr) ||
        type != REG_MULTI_SZ) {
        return;
    }
    const std::string first = buffer;  // the most specific ID comes first
    const auto hexAfter = [&first](const char* tag, std::uint16_t& value) {
        const std::size_t at = first.find(tag);
        if (at == std::string::npos || first.size() < at + 8) return false;
        const std::string digits = first.substr(at + 4, 4);
        if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
        value = static_cast<std::uint16_t>(std::strtoul(digits.c_str(), nullptr, 16));
        return true;
    };
    if (first.compare(0, 4, "USB\\") != 0) return;
    std::uint16_t vendor = 0, product = 0;
    if (hexAfter("VID_", vendor) && hexAfter("PID_", product)) {
        port.UsbVendor = vendor;
        port.UsbProduct = product;
    }
}

// False when the setup classes or the device list cannot be had.
bool ListFromSetupClass(std::vector<FoundPort>& ports) {
    if (!portapi::LoadSetupLibrary()) return false;

    DWORD guidCount = 0;
    portapi::SetupDiClassGuidsFromNameA("Ports", nullptr, 0, &guidCount);
    if (guidCount == 0) return false;
    std::vector<GUID> guids(guidCount);
    if (!portapi::SetupDiClassGuidsFromNameA("Ports", guids.data(), guidCount, &guidCount))
        return false;

    // Only the first class, and only the devices present now.
    HDEVINFO devices = portapi::SetupDiGetClassDevsA(&guids[0], nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return false;

    SP_DEVINFO_DATA info = {};
    // The record's own size: 28 bytes in the 32-bit build, 32 in the 64-bit one.
    info.cbSize = sizeof info;
    for (DWORD index = 0; portapi::SetupDiEnumDeviceInfo(devices, index, &info); ++index) {
        HKEY key = portapi::SetupDiOpenDevRegKey(devices, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                                 KEY_QUERY_VALUE);
        if (key == nullptr || key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) continue;
        const std::string name = ReadPortName(key);
        portapi::RegCloseKey(key);
        if (!IsComPortName(name)) continue;
        FoundPort port;
        port.Name = name;
        port.Description = ReadDescription(devices, info);
        ReadUsbIds(devices, info, port);
        ports.push_back(port);
    }
    portapi::SetupDiDestroyDeviceInfoList(devices);
    return true;
}

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: one value per serial port, its data the port name.
bool ListFromSerialDeviceMap(std::vector<FoundPort>& ports) {
    HKEY key = nullptr;
    if (portapi::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                               KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD nameLength = sizeof valueName;
        BYTE data[256] = {};
        DWORD dataLength = sizeof data - 1;
        DWORD type = 0;
        const LONG result = portapi::RegEnumValueA(key, index, valueName, &nameLength, nullptr,
                                                   &type, data, &dataLength);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        FoundPort port;
        port.Name = reinterpret_cast<const char*>(data);
        ports.push_back(port);
    }
    portapi::RegCloseKey(key);
    return true;
}

bool HasComPort(const std::vector<FoundPort>& ports) {
    for (const FoundPort& port : ports) {
        if (IsComPortName(port.Name)) return true;
    }
    return false;
}

class SetupApiBackend : public PortBackend {
  public:
    bool ListPorts(std::vector<FoundPort>& ports) override {
        std::vector<FoundPort> found;
        const bool listed = ListFromSetupClass(found);
        if (listed && HasComPort(found)) {
            ports.insert(ports.end(), found.begin(), found.end());
            return true;
        }
        return ListFromSerialDeviceMap(ports) || listed;
    }
};

}  // namespace

PortBackend& PlatformPortBackend() {
    static SetupApiBackend backend;
    return backend;
}

}  // namespace device
