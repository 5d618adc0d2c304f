// The exit codes of qvdfu: a closed table, documented in the user guide.
#pragma once

namespace service {

enum ExitCode {
    kExitDone = 0,          // done
    kExitUsage = 1,         // usage error, or refused without --yes
    kExitNoDevice = 2,      // no headset or DFU device found
    kExitBadFile = 3,       // bad or foreign firmware file
    kExitDeviceFailed = 4,  // the device refused or failed
    kExitInterrupted = 5,   // interrupted (Ctrl+C)
    kExitPortBusy = 6,      // the port is busy or cannot be opened
};

}  // namespace service
