#include "device/ports/PortBackend.h"

namespace device {
namespace {
PortBackend* g_override = nullptr;
}

void SetPortBackend(PortBackend* backend) {
    g_override = backend;
}

PortBackend& CurrentPortBackend() {
    return g_override != nullptr ? *g_override : PlatformPortBackend();
}

}  // namespace device
