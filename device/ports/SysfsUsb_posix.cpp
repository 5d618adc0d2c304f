#include "device/ports/SysfsUsb_posix.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>

namespace device {
namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

// A four-digit hexadecimal ID file of sysfs ("1209"); 0 when missing or malformed.
std::uint16_t HexId(const std::string& path) {
    const std::string text = FirstLine(path);
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return 0;
    }
    return static_cast<std::uint16_t>(std::strtoul(text.c_str(), nullptr, 16));
}

bool IsUsbSerialTtyName(const std::string& name) {
    for (const char* prefix : {"ttyACM", "ttyUSB"}) {
        const std::string p = prefix;
        if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
            name.find_first_not_of("0123456789", p.size()) == std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string SysfsRoot() {
    const char* root = std::getenv("QV_SYSFS_ROOT");
    return root != nullptr && root[0] != '\0' ? root : "/sys";
}

void DescribeFromUsbDevice(const std::string& sysfsNode, FoundPort& port) {
    std::string node = RealPath(sysfsNode);
    const std::string top = RealPath(SysfsRoot());
    for (int depth = 0; depth < 8 && !node.empty() && node != top && node != "/"; ++depth) {
        if (Exists(node + "/idVendor")) {
            const std::string product = FirstLine(node + "/product");
            port.Description =
                product.empty() ? "USB Serial Device" : "USB Serial Device (" + product + ")";
            port.UsbVendor = HexId(node + "/idVendor");
            port.UsbProduct = HexId(node + "/idProduct");
            return;
        }
        node = node.substr(0, node.rfind('/'));
    }
}

std::vector<FoundPort> ListUsbSerialTtys() {
    std::vector<FoundPort> ports;
    const std::string folder = SysfsRoot() + "/class/tty";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return ports;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!IsUsbSerialTtyName(name)) continue;
        FoundPort port;
        port.Name = "/dev/" + name;
        DescribeFromUsbDevice(folder + "/" + name, port);
        if (port.UsbVendor != 0) ports.push_back(port);
    }
    ::closedir(dir);
    std::sort(ports.begin(), ports.end(),
              [](const FoundPort& a, const FoundPort& b) { return a.Name < b.Name; });
    return ports;
}

}  // namespace device
