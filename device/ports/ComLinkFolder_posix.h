// The per-user folder of COM links on POSIX: "com5" -> /dev/ttyUSB0, the way Wine's
// dosdevices folder maps COM ports to ttys. The serial layer opens COM names through the
// same folder, by the same rule:
//   $QV_COM_DIR                        when set, else
//   $XDG_CONFIG_HOME/QVBFU/dosdevices  when XDG_CONFIG_HOME is set, else
//   $HOME/.config/QVBFU/dosdevices
#pragma once

#include <string>

namespace device {

std::string ComLinkFolderPath();

// The link name of a COM port in the folder: "COM5" gives "com5". Empty for other names.
std::string ComLinkNameOf(const std::string& portName);

}  // namespace device
