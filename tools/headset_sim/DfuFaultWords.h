// Faults of the headset's DFU side, one word each (--dfu-fault WORD, repeatable). Block
// numbers count from 0, as on the wire. Each fault strikes once: a host that tries again
// afterwards finds a healthy device, the way a headset behaves after a cable was pulled and
// plugged in again.
//
//   vanish-after=N       the device disappears after taking N blocks (N >= 1), as when the
//                        cable is pulled; a second later it is plugged in again and waits in
//                        DFU mode, its firmware half-written
//   stall-at=N           the DNLOAD of block N is stalled
//   status-error=CODE@N  GETSTATUS after block N reports DFU status CODE (1 to 15, decimal or
//                        0x hex, e.g. 3 for errWRITE)
//   no-return            after manifestation the device does not start the new firmware: it
//                        comes back in DFU mode with errFIRMWARE and stays there
//   reset-refused        the host may not reset the device (a standard user on Windows): after
//                        manifestation it waits for the reset in DFU mode until it is plugged
//                        in again by hand, which the simulator does 25 s later
#pragma once

#include <cstdint>
#include <string>

namespace headsetsim {

struct SimDfuFaults {
    long VanishAfterBlocks = -1;
    long StallAtBlock = -1;
    int32_t StatusErrorCode = 0;
    long StatusErrorAtBlock = -1;
    bool NoReturn = false;
    bool ResetRefused = false;

    // Applies one word; false for an unknown word or a bad value.
    bool Apply(const std::string& word);
    bool Any() const {
        return VanishAfterBlocks >= 0 || StallAtBlock >= 0 || StatusErrorAtBlock >= 0 || NoReturn ||
               ResetRefused;
    }
};

}  // namespace headsetsim
