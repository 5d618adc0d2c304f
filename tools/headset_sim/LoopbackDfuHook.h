// The headset's DFU side: while it is in DFU mode it is a simulated USB DFU device served on
// loopback TCP (the engine reaches it through QV_DFU_LOOPBACK=127.0.0.1:<port>). Once a
// download has been manifested and the device has restarted, the headset comes back on its
// serial side running the version named in the new image's comment.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "DfuModeHook.h"
#include "SimOptions.h"

namespace headsetsim {

// What the device reports and waits for in each pace: bwPollTimeout after each block of a
// download (the device is busy that long) and while it manifests.
struct DfuPaceTimes {
    uint32_t BlockPollMs;
    uint32_t ManifestPollMs;
};
DfuPaceTimes PaceTimes(DfuPace pace);

// The device listens on port (0 picks a free port) while the headset is in DFU mode; say
// reports "DFU 127.0.0.1:<port>" and progress. When nothing is manifested within timeoutMs
// the headset comes back with its old firmware.
std::unique_ptr<DfuModeHook> MakeLoopbackDfuHook(uint16_t port, DfuPace pace, int32_t timeoutMs,
                                                 std::function<void(const std::string&)> say);

}  // namespace headsetsim
