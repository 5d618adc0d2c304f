// What the headset does between answering "enter DFU mode" and coming back on its serial
// side. The real headset re-appears as a USB DFU device, takes a firmware image, and after
// manifestation boots again with the new version; a hook plays that part.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace headsetsim {

// True once the simulator has been told to end (a signal); a hook then returns promptly.
using StopRequested = std::function<bool()>;

class DfuModeHook {
  public:
    virtual ~DfuModeHook() = default;
    // Called after the serial side has been closed. Returns true when the headset comes back
    // on a serial side, with firmwareVersion set to the version it now runs (left unchanged
    // when nothing new was flashed); false when it stays away and the simulator ends, which
    // is also the answer once stop() is true (firmwareVersion still tells what was flashed).
    virtual bool RunDfuMode(int32_t& firmwareVersion, const StopRequested& stop) = 0;
};

// Stays away: the simulator ends after code 20.
std::unique_ptr<DfuModeHook> MakeStayAwayHook();

// Comes back after a pause, running newVersion (or the old one when newVersion < 0).
std::unique_ptr<DfuModeHook> MakeTimedReturnHook(int32_t pauseMs, int32_t newVersion);

// The version number a firmware file's comment names as "V<major>.<minor>" (the first such
// mark, any case; two minor digits): "QuorVane KX-V5 V1.03" gives 103. -1 when there is none.
int32_t VersionFromComment(const std::string& comment);

}  // namespace headsetsim
