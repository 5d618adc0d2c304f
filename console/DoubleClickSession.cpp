#include "console/DoubleClickSession.h"

#include "console/ExitCode.h"

namespace service {
namespace {

bool IsYes(const std::string& answer) {
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

int OfferRecovery(const SessionActions& actions) {
    const std::vector<std::string> devices = actions.dfuDevices();
    if (devices.empty()) {
        actions.say("No headset waits in DFU mode: there is nothing to recover.");
        return kExitDone;
    }
    if (devices.size() > 1) {
        actions.say(
            "Several devices wait in DFU mode. Recover them one at a time from a command "
            "prompt: qvdfu recover FILE --device NAME");
        return kExitUsage;
    }
    actions.say(
        "A headset waits in DFU mode: its upgrade was cut off. It can be recovered by "
        "writing the firmware again.");
    std::string file = actions.rememberedFile();
    std::string answer;
    if (file.empty()) {
        if (!actions.ask("Firmware file to write (.dfu, empty to stop): ", file) || file.empty())
            return kExitDone;
    }
    if (!actions.ask("Write " + file + " to " + devices[0] + "? [y/N] ", answer) ||
        !IsYes(answer)) {
        actions.say("Nothing was written.");
        return kExitUsage;
    }
    return actions.recover(file, devices[0]);
}

}  // namespace

int RunDoubleClickSession(const SessionActions& actions) {
    actions.say("KX-V5 service tool. Looking for headsets...");
    actions.list();
    const int code = OfferRecovery(actions);
    std::string ignored;
    actions.ask("Press Enter to close this window.", ignored);
    return code;
}

}  // namespace service
