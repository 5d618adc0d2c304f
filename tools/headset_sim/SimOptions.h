// The command line of qv-headset-sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DfuFaultWords.h"
#include "HeadsetState.h"
#include "SimFaults.h"

namespace headsetsim {

// How fast the simulated DFU device takes a download: at a headset's pace (about 20 KiB/s, so
// that an upgrade can be watched) or as fast as the host asks (for tests).
enum class DfuPace { Real, Fast };

struct SimOptions {
    std::string Tty;                // --tty PATH: use this line instead of a new pty
    std::string ComName;            // --com COMn: link the line as this COM port
    std::string ComDir;             // --com-dir DIR: the COM link folder (default: the tool's)
    std::string WinePrefix;         // --wine-prefix DIR: also link it in DIR/dosdevices
    bool WineRegister = true;       // --no-wine-reg: do not map the port in the prefix's registry
    std::string StateFile;          // --state FILE: settings kept across runs
    std::string ControlFile;        // --control FILE: fault switches read before each answer
    SimFaults Faults;               // --fault WORD[=VALUE], repeatable
    int32_t DfuReturnMs = -1;       // --dfu-return MS: come back after code 20 (default: end)
    int32_t DfuVersion = -1;        // --dfu-version V: the version it comes back with
    int32_t DfuPort = -1;           // --dfu-port N: be a loopback DFU device in DFU mode
    int32_t DfuTimeoutMs = 120000;  // --dfu-timeout MS: give up waiting for a download
    DfuPace Pace = DfuPace::Real;   // --dfu-pace real|fast
    bool Timestamps = false;        // --timestamps: monotonic microseconds on <- and -> lines
    bool StartInDfu = false;        // --start-in-dfu: begin as the DFU device, no serial line
    SimDfuFaults DfuFaults;         // --dfu-fault WORD, repeatable
    bool Quiet = false;             // --quiet: only the PTY, LINK, READY and DFU lines
    HeadsetState Initial;           // --version V, --name TEXT, --address TEXT, --id2 N
    // Which of those were given: they win over the values of a state file.
    bool VersionGiven = false;
    bool NameGiven = false;
    bool AddressGiven = false;
    bool Id2Given = false;

    // The given identity values put over state (loaded from the state file).
    void ApplyGivenIdentity(HeadsetState& state) const;
};

// False with a message for a bad command line; help is set for --help.
bool ParseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error,
                  bool& help);

const char* UsageText();

}  // namespace headsetsim
