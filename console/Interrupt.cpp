#include "console/Interrupt.h"

#include <atomic>

namespace service {
namespace {

std::atomic<bool> g_interrupted{false};

}  // namespace

bool Interrupted() {
    return g_interrupted.load();
}

void SetInterrupted(bool value) {
    g_interrupted.store(value);
}

}  // namespace service
