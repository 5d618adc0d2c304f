#include "bridge/ModuleState.h"

namespace bridge {

std::atomic<DFUProgress*> g_progress{nullptr};
std::atomic<int32_t> g_traceLevel{0};

}  // namespace bridge
