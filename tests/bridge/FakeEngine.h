// A stand-in for the DFU engine library: the bridge's sources are linked against it so that
// tests decide what the engine answers and see what the bridge passed in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/DFUEngine.h"

namespace fake {

// What one engine object was asked, and what it answers.
struct EngineState {
    DFUEngine::Callback* callback = nullptr;
    int setCallbackCalls = 0;
    bool answer = true;               // for CreateUSB and the Start... calls
    std::vector<std::wstring> calls;  // "CreateUSB <name>", "Reconfigure 1 0 <file>", ...
    DFUEngine::Status status;         // what GetStatus reports
};

EngineState& StateOf(DFUEngine* engine);

// What the static operations answer; reset by Reset().
struct LibraryState {
    std::vector<std::wstring> deviceNames;
    bool fileValid = true;
    std::wstring comment;
    uint32_t vendor = 0, product = 0, release = 0;
    std::vector<std::wstring> checkedFiles;
    int initCalls = 0;
    int liveEngines = 0;
};

LibraryState& Library();
void Reset();  // keeps liveEngines

}  // namespace fake
