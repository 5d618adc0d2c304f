// The ports of a POSIX system are the links of the COM link folder whose target is a
// character device. The description comes from sysfs: a tty on a USB device is described
// as "USB Serial Device (<product string>)", so that it reads like the Windows description
// of such a port and is preselected like one, and carries the device's vendor and product
// IDs; any other tty has an empty description.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <string>

#include "device/ports/ComLinkFolder_posix.h"
#include "device/ports/PortBackend.h"
#include "device/ports/SysfsUsb_posix.h"

namespace device {
namespace {

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
            DescribeFromUsbDevice(SysfsRoot() + "/dev/char/" + std::to_string(major(st.st_rdev)) +
                                      ":" + std::to_string(minor(st.st_rdev)),
                                  port);
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
