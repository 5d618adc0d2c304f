#include "device/ports/ComLinkFolder_posix.h"

#include "serial/posix/ComNames.h"

namespace device {

// The serial layer opens COM names through this folder: one rule for both.
std::string ComLinkFolderPath() {
    return commapi::posix::ComLinkFolder();
}

std::string ComLinkNameOf(const std::string& portName) {
    return commapi::posix::ComLinkName(portName);
}

}  // namespace device
