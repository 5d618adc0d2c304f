#include "device/ports/ComLinkFolder_posix.h"

#include <cctype>
#include <cstdlib>

namespace device {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string ComLinkFolderPath() {
    std::string folder = Environment("QV_COM_DIR");
    if (!folder.empty()) return folder;
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty()) config = Environment("HOME") + "/.config";
    return config + "/QVBFU/dosdevices";
}

std::string ComLinkNameOf(const std::string& portName) {
    if (portName.size() < 4) return {};
    std::string link;
    for (size_t i = 0; i < portName.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(portName[i]);
        if (i < 3) {
            link += static_cast<char>(std::tolower(c));
        } else if (std::isdigit(c)) {
            link += static_cast<char>(c);
        } else {
            return {};
        }
    }
    return link == "com" || link.compare(0, 3, "com") != 0 ? std::string() : link;
}

}  // namespace device
