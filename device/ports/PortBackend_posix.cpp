// The ports of a POSIX system are the links of the COM link folder whose target is a
// character device. The description comes from sysfs: a tty on a USB device is described
// as "USB Serial Device (<product string>)", so that it reads like the Windows description
// of such a port and is preselected like one, and carries the device's vendor and product
// IDs; any other tty has an empty description.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

#include "device/ports/ComLinkFolder_posix.h"
#include "device/ports/PortBackend.h"

namespace device {
namespace {

// sysfs lives elsewhere in tests.
std::string SysfsRoot() {
    const char* root = std::getenv("QV_SYSFS_ROOT");
    return root != nullptr && root[0] != '\0' ? root : "/sys";
}

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

// Walks up from the tty's sysfs node to the USB device it belongs to, if any, and describes
// the port from it.
void DescribeUsbPort(dev_t device, FoundPort& port) {
    const std::string root = SysfsRoot();
    std::string node = RealPath(root + "/dev/char/" + std::to_string(major(device)) + ":" +
                                std::to_string(minor(device)));
    const std::string top = RealPath(root);
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

class LinkFolderBackend : public PortBackend {
  public:
    bool ListPorts(std::vector<FoundPort>& ports) override {
        const std::string folder = ComLinkFolderPath();
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) return true;  // no folder: no ports
        while (const dirent* entry = ::readdir(dir)) {
            const std::string link = entry->d_name;
            if (ComLinkNameOf(link) != link) continue;  // only links the serial layer opens
            struct stat st;
            if (::stat((folder + "/" + link).c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
                continue;  // dangling: the device has gone
            }
            FoundPort port;
            port.Name = "COM" + link.substr(3);
            DescribeUsbPort(st.st_rdev, port);
            ports.push_back(port);
        }
        ::closedir(dir);
        return true;
    }
};

}  // namespace

PortBackend& PlatformPortBackend() {
    static LinkFolderBackend backend;
    return backend;
}

}  // namespace device
