// The udev rule that gives the headset to its user on Linux, made from the headset's USB IDs
// (device/HeadsetUsbIds.h), in run-time and in DFU mode:
// - TAG+="uaccess": the user logged in at the seat may open the device (systemd-logind grants
//   it; the rule's number, 70, puts it before 73-seat-late.rules, which applies the tag);
// - GROUP="plugdev", MODE="0660": without a seat (SSH, headless), the members of plugdev may;
// - ENV{ID_MM_DEVICE_IGNORE}="1": ModemManager leaves the headset's serial port alone.
// Each applies to the USB device (its /dev/bus/usb node, which libusb opens) and to the tty of
// its serial function.
#pragma once

#include <string>

namespace udevrule {

constexpr const char* kRuleFileName = "70-kx-v5.rules";

std::string HeadsetUdevRules();

}  // namespace udevrule
