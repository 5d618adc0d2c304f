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

namespace headsetsim {

// port 0 picks a free port; say reports "DFU 127.0.0.1:<port>" and progress. When nothing is
// manifested within timeoutMs the headset comes back with its old firmware. blockPollMs is the
// time the device asks for after each block it takes (its flash write).
std::unique_ptr<DfuModeHook> MakeLoopbackDfuHook(uint16_t port, int32_t timeoutMs,
                                                 uint32_t blockPollMs,
                                                 std::function<void(const std::string&)> say);

}  // namespace headsetsim
