// The shared object's counterpart of the Windows load and unload notifications.
#include "bridge/ModuleLine.h"

namespace {

__attribute__((constructor)) void OnLoad() {
    bridge::WriteModuleLine(bridge::kAttachMessage);
}

__attribute__((destructor)) void OnUnload() {
    bridge::WriteModuleLine(bridge::kDetachMessage);
}

}  // namespace
