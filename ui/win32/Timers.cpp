// Window timers on the utility window. Each start takes a fresh timer id, so a WM_TIMER that
// was already queued for an earlier period (KillTimer does not remove it) finds no timer and
// is dropped: a restarted timer always waits a full period.
#include <stdexcept>
#include <string>

#include "ui/win32/BackendImpl.h"

namespace ui::win32 {

void TWin32Backend::StartTimer(TTimer& timer) {
    StopTimer(timer);
    UINT_PTR id = nextTimerId_++;
    if (!SetTimer(utility_, id, timer.Interval(), nullptr)) {
        throw std::runtime_error("cannot start a timer (error " + std::to_string(GetLastError()) +
                                 ")");
    }
    timers_[id] = &timer;
}

void TWin32Backend::StopTimer(TTimer& timer) {
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second == &timer) {
            KillTimer(utility_, it->first);
            timers_.erase(it);
            return;
        }
    }
}

void TWin32Backend::TimerMessage(UINT_PTR id) {
    auto found = timers_.find(id);
    if (found == timers_.end()) return;
    // Tick may stop, restart or destroy the timer: look nothing up afterwards.
    found->second->Tick();
}

}  // namespace ui::win32
