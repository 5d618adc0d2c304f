// What the stand-in bridge was asked, and what it answers.
#pragma once

#include <vector>

#include "bridge/DfuBridge.h"

namespace fake_bridge {

struct State {
    DfuEngineHandle createResult = reinterpret_cast<DfuEngineHandle>(0x1234);
    int creates = 0;
    std::vector<DfuEngineHandle> destroyed;
};
extern State state;

}  // namespace fake_bridge
