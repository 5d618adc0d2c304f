// A stand-in for DfuBridge in the window's tests: records what the window asks of the engine.
#include "tests/app/FakeBridge.h"

namespace fake_bridge {
State state;
}

using fake_bridge::state;

extern "C" {

DfuEngineHandle DFUEngine_Create(void) {
    ++state.creates;
    return state.createResult;
}

void DFUEngine_Destroy(DfuEngineHandle engine) {
    state.destroyed.push_back(engine);
}

}  // extern "C"
