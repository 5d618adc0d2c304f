// Process-wide state of the library: the one notification adapter and the trace level.
#pragma once

#include <atomic>
#include <cstdint>

#include "bridge/DfuProgress.h"

namespace bridge {

// Null until the first DFUEngine_SetCallback; set once and never released, since an engine
// may still hold it after its handle is destroyed.
extern std::atomic<DFUProgress*> g_progress;

// Stored by DFUEngine_SetTraceLevel; nothing reads it.
extern std::atomic<int32_t> g_traceLevel;

}  // namespace bridge
