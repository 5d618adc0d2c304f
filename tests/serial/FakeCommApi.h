// A recording stand-in for the communications operations, linked in place of the platform
// layer: every call the port makes is written to a log in a readable form, the "driver" hands
// out a preset control block, and any operation can be made to fail with a chosen error.
// No thread is ever started: a created thread counts as ended at once.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "serial/CommApi.h"

namespace fakecomm {

struct State {
    std::vector<std::string> calls;
    // What GetCommState reports before the port changes anything.
    commapi::DCB driverDcb{};
    // The control block of the last SetCommState.
    commapi::DCB appliedDcb{};
    // The bytes of the last WriteFile and whether they came from the given source pointer.
    std::string written;
    const void* writtenFrom = nullptr;
    // Operation name (as in the log, without arguments) -> last error it fails with.
    std::map<std::string, commapi::DWORD> failures;
    // Bytes a ReadFile moves when it completes at once (-1: all that were asked for).
    long readCompletes = -1;
    // Bytes a transfer left pending (failed with ERROR_IO_PENDING) has moved when its result
    // is asked for (-1: all that were asked for), and whether it has already ended by the time
    // the port looks (its event signalled at once) rather than when its result is asked for.
    long pendingMoves = -1;
    bool pendingEndsBeforeWait = false;
    // Handles that are open now, by name.
    std::map<commapi::HANDLE, std::string> open;
};

// Forgets every call, failure and handle; the driver's block becomes the given one.
void Reset(const commapi::DCB& driverDcb);
State& Current();

// The raw flag word of a control block (the 32 bits after BaudRate).
commapi::DWORD Flags(const commapi::DCB& dcb);

}  // namespace fakecomm
