#include "SimOptions.h"

#include <cstdlib>

#include "device/ports/ComLinkFolder_posix.h"

namespace headsetsim {
namespace {

bool ToNumber(const std::string& text, int32_t& value) {
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number < INT32_MIN || number > INT32_MAX) return false;
    value = static_cast<int32_t>(number);
    return true;
}

}  // namespace

const char* UsageText() {
    return "usage: qv-headset-sim [options]\n"
           "Plays a KX-V5 headset on a serial line: answers \"AT+QVCMD1=\" requests with \"OK\"\n"
           "and a \"+QVSTS1=\" status line, and prints each request and answer.\n"
           "  --tty PATH          use this tty instead of a new pty pair\n"
           "  --com COMn          link the line as COMn in the COM link folder\n"
           "  --com-dir DIR       the COM link folder (default: the tool's own)\n"
           "  --wine-prefix DIR   also link it as DIR/dosdevices/comn and map it in the\n"
           "                      prefix's registry (restart its wineserver to list it)\n"
           "  --no-wine-reg       link only, leave the prefix's registry alone\n"
           "  --state FILE        load and keep the settings in FILE\n"
           "  --control FILE      fault switches, one per line, read before each answer\n"
           "  --fault WORD        silent, status-first, other-code, foreign-signature, lf, crlf,\n"
           "                      split=N, merge, garbage, echo, overlong, delay=MS, hangup,\n"
           "                      only-code=N, gap=MS (pause between the writes of one\n"
           "                      answer; default 20, so that they arrive apart) (repeatable)\n"
           "  --dfu-return MS     after code 20, come back on a new line after MS ms\n"
           "  --dfu-version V     the firmware version it comes back with\n"
           "  --dfu-port N        after code 20, be a USB DFU device on loopback TCP port N\n"
           "                      (0: a free port, chosen at start and printed as \"DFU\n"
           "                      127.0.0.1:N\" before READY; the tool needs QV_DFU_LOOPBACK=\n"
           "                      127.0.0.1:N) and come back with the version of the image's\n"
           "                      comment (\"V1.03\") once it was manifested\n"
           "  --dfu-timeout MS    come back unchanged when nothing was manifested (120000)\n"
           "  --dfu-pace PACE     real (default): take a download at a headset's pace, about\n"
           "                      20 KiB/s; fast: as fast as the host asks (for tests)\n"
           "  --start-in-dfu      begin in DFU mode on --dfu-port, without firmware and\n"
           "                      without a serial line, as a headset whose upgrade was cut\n"
           "                      off; after manifestation it comes back on --com\n"
           "  --dfu-fault WORD    vanish-after=N, stall-at=N, status-error=CODE@N, no-return,\n"
           "                      reset-refused\n"
           "                      (block numbers from 0; each strikes once) (repeatable)\n"
           "  --version V, --name TEXT, --address TEXT, --id2 N   the device's identity\n"
           "  --quiet             print only the PTY, LINK, READY and DFU lines\n"
           "  --timestamps        start each <- and -> line with the time in microseconds\n"
           "                      (monotonic clock), for timing the tool's answers\n"
           "Signals: SIGUSR1 prints the stored state; SIGTERM, SIGINT and SIGHUP end the\n"
           "simulator, which then removes its COM links and registry entry and puts back what\n"
           "was there before.\n";
}

void SimOptions::ApplyGivenIdentity(HeadsetState& state) const {
    if (VersionGiven) state.FirmwareVersion = Initial.FirmwareVersion;
    if (NameGiven) state.DeviceName = Initial.DeviceName;
    if (AddressGiven) state.BdAddress = Initial.BdAddress;
    if (Id2Given) state.IdentityValue2 = Initial.IdentityValue2;
}

bool ParseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error,
                  bool& help) {
    help = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](int32_t& out) {
            std::string text;
            if (!value(text)) return false;
            if (!ToNumber(text, out)) {
                error = arg + ": not a number: " + text;
                return false;
            }
            return true;
        };
        auto notNegative = [&](int32_t given, const char* what) {
            if (given >= 0) return true;
            error = arg + ": not " + what + ": " + std::to_string(given);
            return false;
        };
        // A line break would end the status line early and break the state file.
        auto oneLine = [&](const std::string& text) {
            if (text.find_first_of("\r\n") == std::string::npos) return true;
            error = arg + ": must be one line";
            return false;
        };
        std::string text;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--tty") {
            ok = value(options.Tty);
        } else if (arg == "--com") {
            ok = value(options.ComName);
            if (ok && device::ComLinkNameOf(options.ComName).empty()) {
                error = "--com: not a COM port name such as COM5: " + options.ComName;
                ok = false;
            }
        } else if (arg == "--com-dir") {
            ok = value(options.ComDir);
        } else if (arg == "--wine-prefix") {
            ok = value(options.WinePrefix);
        } else if (arg == "--no-wine-reg") {
            options.WineRegister = false;
        } else if (arg == "--state") {
            ok = value(options.StateFile);
        } else if (arg == "--control") {
            ok = value(options.ControlFile);
        } else if (arg == "--fault") {
            ok = value(text);
            if (ok && !options.Faults.Apply(text)) {
                error = "--fault: unknown switch or bad value: " + text;
                ok = false;
            }
        } else if (arg == "--dfu-return") {
            ok = number(options.DfuReturnMs) && notNegative(options.DfuReturnMs, "a time in ms");
        } else if (arg == "--dfu-version") {
            ok = number(options.DfuVersion) && notNegative(options.DfuVersion, "a version");
        } else if (arg == "--dfu-port") {
            ok = number(options.DfuPort);
            if (ok && (options.DfuPort < 0 || options.DfuPort > 65535)) {
                error = "--dfu-port: not a port: " + std::to_string(options.DfuPort);
                ok = false;
            }
        } else if (arg == "--dfu-timeout") {
            ok = number(options.DfuTimeoutMs) && notNegative(options.DfuTimeoutMs, "a time in ms");
        } else if (arg == "--dfu-pace") {
            ok = value(text);
            if (ok && text == "real") {
                options.Pace = DfuPace::Real;
            } else if (ok && text == "fast") {
                options.Pace = DfuPace::Fast;
            } else if (ok) {
                error = "--dfu-pace: not real or fast: " + text;
                ok = false;
            }
        } else if (arg == "--timestamps") {
            options.Timestamps = true;
        } else if (arg == "--start-in-dfu") {
            options.StartInDfu = true;
        } else if (arg == "--dfu-fault") {
            ok = value(text);
            if (ok && !options.DfuFaults.Apply(text)) {
                error = "--dfu-fault: unknown fault or bad value: " + text;
                ok = false;
            }
        } else if (arg == "--version") {
            ok = number(options.Initial.FirmwareVersion) &&
                 notNegative(options.Initial.FirmwareVersion, "a version");
            options.VersionGiven = true;
        } else if (arg == "--name") {
            ok = value(options.Initial.DeviceName) && oneLine(options.Initial.DeviceName);
            options.NameGiven = true;
        } else if (arg == "--address") {
            ok = value(options.Initial.BdAddress) && oneLine(options.Initial.BdAddress);
            options.AddressGiven = true;
        } else if (arg == "--id2") {
            ok = number(options.Initial.IdentityValue2);
            options.Id2Given = true;
        } else if (arg == "--quiet") {
            options.Quiet = true;
        } else {
            error = "unknown option: " + arg;
            ok = false;
        }
        if (!ok) return false;
    }
    if ((options.StartInDfu || options.DfuFaults.Any()) && options.DfuPort < 0) {
        error = std::string(options.StartInDfu ? "--start-in-dfu" : "--dfu-fault") +
                " needs --dfu-port";
        return false;
    }
    if (!options.WinePrefix.empty() && options.ComName.empty()) {
        error = "--wine-prefix needs --com";
        return false;
    }
    return true;
}

}  // namespace headsetsim
