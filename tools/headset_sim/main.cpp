// qv-headset-sim: plays a KX-V5 headset on a serial line, for users and tests without the
// hardware. See UsageText() in SimOptions.cpp.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DfuModeHook.h"
#include "HeadsetState.h"
#ifdef QV_SIM_HAS_DFU_DEVICE
#include "LoopbackDfuHook.h"
#endif
#include "LoopbackPortReservation_posix.h"
#include "ReplyPlan.h"
#include "RequestLine.h"
#include "Responder.h"
#include "SerialSide_posix.h"
#include "SimOptions.h"
#include "WinePortMapping_posix.h"
#include "device/ports/ComLinkFolder_posix.h"

namespace headsetsim {
namespace {

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_dump = 0;

void OnStop(int) {
    g_stop = 1;
}
void OnDump(int) {
    g_dump = 1;
}

void InstallSignals() {
    struct sigaction action = {};
    action.sa_handler = OnStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    action.sa_handler = OnDump;
    sigaction(SIGUSR1, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// Sleeps in short slices, so that a signal to end is not held up by a long reply delay.
void Sleep(int32_t ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!g_stop && std::chrono::steady_clock::now() < end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(50)));
    }
}

// Bytes as a person reads them: CR, LF and other control bytes escaped, long runs shortened.
std::string Printable(const std::string& bytes) {
    std::string out;
    const size_t shown = bytes.size() > 120 ? 100 : bytes.size();
    for (size_t i = 0; i < shown; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    if (shown < bytes.size()) out += "...(" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

class Simulator {
  public:
    explicit Simulator(SimOptions options) : options_(std::move(options)) {
        state_ = options_.Initial;
        hook_ = MakeHook();
    }

    int Run() {
        if (!options_.StateFile.empty()) {
            std::string error;
            if (state_.Load(options_.StateFile, error) == HeadsetState::LoadResult::Refused) {
                // Left exactly as it is: it may be someone's file behind a mistyped path.
                std::fprintf(stderr, "qv-headset-sim: %s; nothing was changed\n", error.c_str());
                return 1;
            }
            options_.ApplyGivenIdentity(state_);  // what the user asks for now wins
        }
        InstallSignals();
        // A state file that cannot be written would lose every setting without a word: the
        // headset does not start on it.
        if (!SaveState()) {
            std::fprintf(stderr,
                         "qv-headset-sim: the state file must be in a folder you can write; "
                         "choose another --state FILE\n");
            return 1;
        }
        TellWhereTheStateIs();
        if (!hook_) return 1;
        // A headset whose upgrade was cut off starts as the DFU device, without a serial line.
        bool inDfuMode = options_.StartInDfu;
        for (;;) {
            if (!inDfuMode) {
                if (!OpenLine()) return 1;
                const Ending ending = Serve();
                CloseLine();
                if (ending == Ending::Stopped || ending == Ending::HungUp) return 0;
                Say("DFU leaving the serial line");
            }
            inDfuMode = false;
            int32_t version = state_.FirmwareVersion;
            const bool back = hook_->RunDfuMode(version, [] { return g_stop != 0; });
            if (version != state_.FirmwareVersion) {  // flashed, even when ended right after
                state_.FirmwareVersion = version;
                SaveState();
            }
            if (!back || g_stop) return 0;
            Say("DFU back, firmware version %d", version);
        }
    }

  private:
    enum class Ending { Stopped, HungUp, EnteredDfu };

    std::unique_ptr<DfuModeHook> MakeHook() {
#ifdef QV_SIM_HAS_DFU_DEVICE
        if (options_.DfuPort >= 0) {
            uint16_t port = static_cast<uint16_t>(options_.DfuPort);
            if (port == 0) {
                // Chosen now, so that a host knows it before the headset goes into DFU mode.
                std::string error;
                if (!dfuPort_.Reserve(error)) {
                    std::fprintf(stderr, "qv-headset-sim: %s\n", error.c_str());
                    return nullptr;
                }
                port = dfuPort_.Port();
                std::printf("DFU 127.0.0.1:%u\n", static_cast<unsigned>(port));
                std::fflush(stdout);
            }
            LoopbackDfuSettings settings;
            settings.port = port;
            settings.timeoutMs = options_.DfuTimeoutMs;
            settings.pace = options_.Pace;
            settings.startInDfu = options_.StartInDfu;
            settings.faults = options_.DfuFaults;
            return MakeLoopbackDfuHook(
                settings,
                // Also when quiet: the "DFU 127.0.0.1:<port>" line is what a host needs.
                [](const std::string& text) {
                    std::printf("%s\n", text.c_str());
                    std::fflush(stdout);
                });
        }
#endif
        if (options_.DfuReturnMs >= 0) {
            return MakeTimedReturnHook(options_.DfuReturnMs, options_.DfuVersion);
        }
        return MakeStayAwayHook();
    }

    void Say(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        if (options_.Quiet) return;
        va_list args;
        va_start(args, format);
        std::vprintf(format, args);
        va_end(args);
        std::printf("\n");
        std::fflush(stdout);
    }

    // A request that arrived ("<-") or bytes about to be written ("->"), with the time when
    // asked for: microseconds of the monotonic clock, taken as the line is printed.
    void SayLine(const char* arrow, const std::string& bytes) {
        if (options_.Quiet) return;
        if (options_.Timestamps) {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            const long long us = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
            std::printf("%lld ", us);
        }
        Say("%s %s", arrow, Printable(bytes).c_str());
    }

    void TellWhereTheStateIs() {
        if (options_.StateFile.empty()) {
            Say("state: not kept (no --state FILE): each run starts with the factory settings");
        } else {
            Say("state: %s (to start afresh, end the simulator and delete that file)",
                options_.StateFile.c_str());
        }
    }

    bool OpenLine() {
        std::string error;
        if (!side_.Open(options_.Tty, error)) {
            std::fprintf(stderr, "qv-headset-sim: %s\n", error.c_str());
            return false;
        }
        std::printf("PTY %s\n", side_.ToolPath().c_str());
        if (!options_.ComName.empty()) {
            const std::string folder =
                options_.ComDir.empty() ? device::ComLinkFolderPath() : options_.ComDir;
            if (!links_.Add(folder, options_.ComName, side_.ToolPath(), error)) {
                std::fprintf(stderr, "qv-headset-sim: %s\n", error.c_str());
                return false;
            }
            std::printf("LINK %s\n", links_.LastPath().c_str());
            if (!options_.WinePrefix.empty()) {
                if (!links_.Add(options_.WinePrefix + "/dosdevices", options_.ComName,
                                side_.ToolPath(), error)) {
                    std::fprintf(stderr, "qv-headset-sim: %s\n", error.c_str());
                    return false;
                }
                std::printf("LINK %s\n", links_.LastPath().c_str());
                if (options_.WineRegister &&
                    !wineMapping_.Map(options_.WinePrefix, options_.ComName, side_.ToolPath(),
                                      error)) {
                    std::fprintf(stderr, "qv-headset-sim: %s\n", error.c_str());
                }
            }
        }
        std::printf("READY\n");
        std::fflush(stdout);
        return true;
    }

    void CloseLine() {
        side_.Close();
        links_.Remove();
        splitter_ = LineSplitter();
    }

    bool SaveState() {
        if (!options_.StateFile.empty() && !state_.Save(options_.StateFile)) {
            std::fprintf(stderr, "qv-headset-sim: cannot write %s\n", options_.StateFile.c_str());
            return false;
        }
        return true;
    }

    SimFaults CurrentFaults() {
        SimFaults faults = options_.Faults;
        std::string error;
        if (!options_.ControlFile.empty()) {
            SimFaults::FromFile(options_.ControlFile, faults, error);
            if (!error.empty()) std::fprintf(stderr, "qv-headset-sim: %s\n", error.c_str());
        }
        return faults;
    }

    Ending Serve() {
        char buffer[512];
        while (!g_stop) {
            if (g_dump) {
                g_dump = 0;
                std::printf("STATE\n%sEND\n", state_.Serialize().c_str());
                std::fflush(stdout);
            }
            pollfd p = {side_.Fd(), POLLIN, 0};
            const int ready = poll(&p, 1, 100);
            if (ready <= 0) continue;
            const ssize_t n = read(side_.Fd(), buffer, sizeof buffer);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                Sleep(50);  // a given tty without a peer: wait for one
                continue;
            }
            for (const std::string& line : splitter_.Feed(buffer, static_cast<size_t>(n))) {
                const Ending ending = Answer(line);
                if (ending != Ending::Stopped) return ending;
            }
        }
        return Ending::Stopped;
    }

    // Stopped here means "go on serving".
    Ending Answer(const std::string& line) {
        SayLine("<-", line);
        const Request request = ParseRequestLine(line);
        const HeadsetState before = state_;
        Response response = Respond(request, state_);
        if (response.StateChanged && !SaveState()) {
            // Not stored, so not done: the headset says ERROR and keeps what it had.
            state_ = before;
            response = Response();
        }
        const SimFaults faults = CurrentFaults();
        const std::vector<LineWrite> writes = PlanReply(line, request, response, state_, faults);
        if (writes.empty()) Say("   (silent)");
        for (const LineWrite& write : writes) {
            Sleep(write.PauseBeforeMs);
            if (g_stop) return Ending::Stopped;
            SayLine("->", write.Bytes);
            side_.WriteAll(write.Bytes, [] { return g_stop != 0; });
            if (write.HangUpAfter) {
                Sleep(50);
                Say("HANGUP");
                return Ending::HungUp;
            }
        }
        if (response.EnterDfuMode && !writes.empty()) {
            Sleep(100);  // let the tool read the answer before the line goes
            return Ending::EnteredDfu;
        }
        return Ending::Stopped;
    }

    SimOptions options_;
    LoopbackPortReservation dfuPort_;  // held for the whole run when --dfu-port 0
    HeadsetState state_;
    std::unique_ptr<DfuModeHook> hook_;
    SerialSide side_;
    ComLinks links_;
    WinePortMapping wineMapping_;  // put back when the simulator ends
    LineSplitter splitter_;
};

}  // namespace
}  // namespace headsetsim

int main(int argc, char** argv) {
    using namespace headsetsim;
    SimOptions options;
    std::string error;
    bool help = false;
    if (!ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error, help)) {
        std::fprintf(stderr, "qv-headset-sim: %s\n%s", error.c_str(), UsageText());
        return 2;
    }
    if (help) {
        std::printf("%s", UsageText());
        return 0;
    }
    return Simulator(std::move(options)).Run();
}
