#include "console/HeadsetPorts.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "device/HeadsetUsbIds.h"
#include "device/ports/ComPortEnumeration.h"
#include "device/ports/ComPortList.h"
#ifndef _WIN32
#include "device/ports/SysfsUsb_posix.h"
#endif

namespace service {
namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::vector<std::string> SplitList(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find(separator, start), text.size());
        if (end > start) parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::vector<std::string> NamedHeadsetPorts() {
    const char* named = std::getenv("QV_HEADSET_PORTS");
    return named != nullptr ? SplitList(named, ';') : std::vector<std::string>{};
}

bool HasHeadsetIds(const device::FoundPort& port) {
    return port.UsbVendor == device::kHeadsetUsbVendor &&
           port.UsbProduct == device::kHeadsetUsbProduct;
}

bool IsNamedPort(const device::FoundPort& port, const std::vector<std::string>& namedPorts) {
    const std::string name = Upper(port.Name);
    return std::any_of(namedPorts.begin(), namedPorts.end(),
                       [&name](const std::string& named) { return Upper(named) == name; });
}

bool MayAskPort(const device::FoundPort& port, const std::vector<std::string>& namedPorts) {
    return Upper(port.Description).find("USB") != std::string::npos || HasHeadsetIds(port) ||
           IsNamedPort(port, namedPorts);
}

bool MayAskTty(const device::FoundPort& port, const std::vector<std::string>& namedPorts) {
    return HasHeadsetIds(port) || IsNamedPort(port, namedPorts);
}

std::vector<ListedPort> ListSerialPorts() {
    std::vector<device::FoundPort> found;
    device::CurrentPortBackend().ListPorts(found);
    const std::vector<std::string> named = NamedHeadsetPorts();
    std::vector<ListedPort> ports;
    for (const device::FoundPort& port : found) {
        if (!device::IsComPortName(port.Name)) continue;
        ports.push_back({port.Name, port.Description, MayAskPort(port, named)});
    }
    std::stable_sort(ports.begin(), ports.end(), [](const ListedPort& a, const ListedPort& b) {
        return device::PortNumber(a.name.c_str()) < device::PortNumber(b.name.c_str());
    });
#ifndef _WIN32
    // The system's own USB serial ports after the COM links (the simulator's, and any made by
    // hand).
    for (const device::FoundPort& tty : device::ListUsbSerialTtys()) {
        ports.push_back({tty.Name, tty.Description, MayAskTty(tty, named)});
    }
#endif
    return ports;
}

}  // namespace service
