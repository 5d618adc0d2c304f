// A stand-in for DfuBridge in the window's tests: records what the window asks of the engine
// and answers from a script.
#pragma once

#include <string>
#include <vector>

#include "bridge/DfuBridge.h"

namespace fake_bridge {

struct State {
    DfuEngineHandle createResult = reinterpret_cast<DfuEngineHandle>(0x1234);
    int creates = 0;
    std::vector<DfuEngineHandle> destroyed;

    // File check: valid or not, and the comment of the file.
    bool fileValid = true;
    std::string fileComment = "Quor Vane KX-V5 firmware V1.03";
    std::vector<std::string> checkedFiles;

    // Device list: empty until `devicesAfterPolls` calls have been made.
    std::vector<std::string> devices;
    int devicesAfterPolls = 0;
    int polls = 0;

    DfuCallback callback = nullptr;
    int callbackRegistrations = 0;
    bool createUsbResult = true;
    std::vector<std::string> openedDevices;
    bool reconfigureResult = true;
    bool downloadResult = true;
    bool manifestResult = true;
    // Every engine step started, in order: "reconfigure <flag1> <flag2> <file>", ...
    std::vector<std::string> steps;
};
extern State state;

// Sends a notification as the engine would.
void Notify(int32_t kind, int32_t percent, int32_t operation, int32_t result = 0,
            int32_t subOperation = 0);

}  // namespace fake_bridge
