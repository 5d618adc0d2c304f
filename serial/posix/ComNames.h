// COM port names on POSIX.
//
// The program names its ports the Windows way ("COM5", or "\\.\COM5" for ports above COM9).
// Such a name is looked up as a symbolic link named after the port in lower case ("com5")
// in a per-user folder of links, the way Wine's dosdevices folder maps COM ports to ttys:
//
//   $QV_COM_DIR                        when set (tests use their own folder), else
//   $XDG_CONFIG_HOME/QVBFU/dosdevices  when XDG_CONFIG_HOME is set, else
//   $HOME/.config/QVBFU/dosdevices
//
// for example: ln -s /dev/ttyUSB0 ~/.config/QVBFU/dosdevices/com5
// Any other name is used as a path unchanged.
#pragma once

#include <string>

namespace commapi::posix {

// The folder of COM links.
std::string ComLinkFolder();

// The link name of a port name "COM<digits>" in any case ("COM12" gives "com12"); empty for
// any other name.
std::string ComLinkName(const std::string& name);

// The tty path that a file name given to CreateFileA stands for. A COM name gives the link
// in the folder (whether or not it exists); other names are returned unchanged.
std::string ResolveDeviceName(const std::string& name);

}  // namespace commapi::posix
