// Which DFU device a headset became after it took code 20, told from the engine's device lists
// seen since:
// - a device that was not listed before code 20 (nor bound to another headset) is this one;
// - so is one that was listed before and has left the list and come back since: the headset
//   re-enumerated under the same name, as a device named by its place does (libusb's
//   "usb:1-3"), when its DFU interface was listed in run-time mode too;
// - at the end of the wait, the only device listed before and not bound, if there is exactly
//   one (a re-enumeration too quick to be seen between two looks).
#pragma once

#include <string>
#include <vector>

namespace service {

class DfuHandOver {
  public:
    DfuHandOver(std::vector<std::string> before, std::vector<std::string> bound);

    // One look at the device list: the headset's DFU device when it is known now, else empty.
    std::string Look(const std::vector<std::string>& listed);

    // After the last look: the only device listed before and not bound then, or empty.
    std::string Fallback() const;

  private:
    std::vector<std::string> before_;
    std::vector<std::string> bound_;
    std::vector<std::string> left_;        // listed before, missing from a look since
    std::vector<std::string> unboundOld_;  // of the last look
};

}  // namespace service
