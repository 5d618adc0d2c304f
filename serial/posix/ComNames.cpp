#include "serial/posix/ComNames.h"

#include <cctype>
#include <cstdlib>

namespace commapi::posix {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string ComLinkName(const std::string& name) {
    if (name.size() < 4) return {};
    std::string link;
    for (std::size_t i = 0; i < 3; ++i) {
        link += static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    }
    if (link != "com") return {};
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return {};
        link += name[i];
    }
    return link;
}

std::string ComLinkFolder() {
    std::string folder = Environment("QV_COM_DIR");
    if (!folder.empty()) return folder;
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty()) config = Environment("HOME") + "/.config";
    return config + "/QVBFU/dosdevices";
}

std::string ResolveDeviceName(const std::string& name) {
    static const std::string deviceNamespace = "\\\\.\\";
    std::string bare = name;
    if (bare.compare(0, deviceNamespace.size(), deviceNamespace) == 0) {
        bare = bare.substr(deviceNamespace.size());
    }
    std::string link = ComLinkName(bare);
    if (link.empty()) return name;
    return ComLinkFolder() + "/" + link;
}

}  // namespace commapi::posix
