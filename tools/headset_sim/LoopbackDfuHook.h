// The headset's DFU side: while it is in DFU mode it is a simulated USB DFU device served on
// loopback TCP (the engine reaches it through QV_DFU_LOOPBACK=127.0.0.1:<port>). Once a
// download has been manifested and the device has restarted, the headset comes back on its
// serial side running the version named in the new image's comment.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "DfuFaultWords.h"
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

struct LoopbackDfuSettings {
    uint16_t port = 0;  // 0 picks a free port
    // When nothing is manifested within this time the headset comes back with the firmware
    // it had, unless a download has already overwritten it: a headset without firmware
    // stays in DFU mode.
    int32_t timeoutMs = 120000;
    DfuPace pace = DfuPace::Real;  // how fast the device takes a download
    bool startInDfu = false;       // the first DFU mode is the start: no firmware, DFU mode
    SimDfuFaults faults;
};

// The device listens on settings.port while the headset is in DFU mode; say reports
// "DFU 127.0.0.1:<port>" and what the device goes through.
std::unique_ptr<DfuModeHook> MakeLoopbackDfuHook(const LoopbackDfuSettings& settings,
                                                 std::function<void(const std::string&)> say);

}  // namespace headsetsim
