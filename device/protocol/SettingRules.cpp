#include "device/protocol/SettingRules.h"

#include "device/protocol/StatusLine.h"

namespace device {

SpeedDialProblem CheckSpeedDial(const std::string& number) {
    for (char c : number) {
        if (!IsDialChar(c)) return SpeedDialProblem::BadCharacter;
    }
    return number.size() > kMaxSpeedDialLength ? SpeedDialProblem::TooLong : SpeedDialProblem::None;
}

}  // namespace device
