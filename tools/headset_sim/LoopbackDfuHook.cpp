#include "LoopbackDfuHook.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "DfuDevice.h"
#include "DfuLoopbackServer.h"
#include "file/DfuFile.h"

namespace headsetsim {
namespace {

using Clock = std::chrono::steady_clock;

qvdfu::Faults DeviceFaults(const SimDfuFaults& words) {
    qvdfu::Faults faults;
    if (words.VanishAfterBlocks > 0) faults.goneAtBlock = words.VanishAfterBlocks - 1;
    faults.stallAtBlock = words.StallAtBlock;
    if (words.StatusErrorAtBlock >= 0) {
        faults.errorAtBlock = words.StatusErrorAtBlock;
        faults.errorStatus = static_cast<std::uint8_t>(words.StatusErrorCode);
    }
    faults.noReturnAfterManifest = words.NoReturn;
    faults.resetFails = words.ResetRefused;
    faults.strikeOnce = true;
    return faults;
}

class LoopbackDfuHook : public DfuModeHook {
  public:
    LoopbackDfuHook(const LoopbackDfuSettings& settings,
                    std::function<void(const std::string&)> say)
        : settings_(settings), pace_(PaceTimes(settings.pace)), say_(std::move(say)) {}

    bool RunDfuMode(int32_t& firmwareVersion, const StopRequested& stop) override {
        // It appears in run-time mode, running the firmware it had on the serial side; a
        // headset started in DFU mode has no firmware it could run.
        qvdfu::DeviceConfig config;
        if (!settings_.startInDfu) config.image = CurrentImage(firmwareVersion);
        config.startInDfuMode = settings_.startInDfu;
        config.pollTimeoutMs = pace_.BlockPollMs;
        config.manifestPollTimeoutMs = pace_.ManifestPollMs;
        settings_.startInDfu = false;
        qvdfu::DfuDevice device(config);
        device.SetFaults(DeviceFaults(settings_.faults));
        qvdfu::DfuLoopbackServer server(device);
        if (!server.Start(settings_.port)) {
            say_("DFU cannot listen on port " + std::to_string(settings_.port));
            return true;
        }
        say_("DFU 127.0.0.1:" + std::to_string(server.Port()));

        const auto deadline = Clock::now() + std::chrono::milliseconds(settings_.timeoutMs);
        unsigned long manifested = 0;
        bool restarted = false;
        while (!restarted && !stop()) {
            Pause();
            qvdfu::Description present;
            if (!device.Describe(present) && device.ManifestCount() == manifested) {
                // Pulled out during a download (the only way it goes away here): it is
                // plugged in again a second later.
                say_("DFU the device vanished");
                PauseFor(1000, stop);
                device.Replug();
                say_("DFU plugged in again, waiting in DFU mode");
                continue;
            }
            if (device.ManifestCount() > manifested) {
                manifested = device.ManifestCount();
                restarted = AwaitRestart(device, stop);
                continue;
            }
            // Nothing manifested in time: back with the firmware it had, if it still has it.
            if (Clock::now() >= deadline && !device.Firmware().empty() &&
                device.ManifestCount() == 0) {
                say_("DFU nothing was downloaded");
                break;
            }
        }
        server.Stop();

        const std::string comment = device.FirmwareComment();
        const int32_t version = VersionFromComment(comment);
        if (version >= 0) firmwareVersion = version;
        if (!comment.empty()) say_("DFU new firmware: " + comment);
        return !stop();
    }

  private:
    // After manifestation the host resets the device, which then starts the new image; true
    // once it has. A device with the no-return fault vanishes at that reset instead and comes
    // back in DFU mode, refusing the firmware: false, and it goes on waiting for a host. One
    // whose reset the host may not give waits in DFU mode until it is plugged in again by hand,
    // later than a host waits for it to come back.
    bool AwaitRestart(qvdfu::DfuDevice& device, const StopRequested& stop) {
        const bool resetRefused = settings_.faults.ResetRefused;
        const auto restart = Clock::now() + std::chrono::seconds(resetRefused ? 25 : 5);
        qvdfu::Description present;
        while (device.InDfuMode() && device.Describe(present) && Clock::now() < restart &&
               !stop()) {
            Pause();
        }
        if (!device.Describe(present) && device.InDfuMode()) {
            PauseFor(300, stop);
            device.Replug();
            device.ForceState(qvdfu::dfuERROR, qvdfu::errFIRMWARE);
            say_("DFU the new firmware did not start: waiting in DFU mode");
            return false;
        }
        if (resetRefused && device.InDfuMode() && !stop()) {
            say_("DFU still waiting for its reset: plugged in again by hand");
            device.Replug();
        }
        if (!stop()) std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return true;
    }

    static std::vector<uint8_t> CurrentImage(int32_t version) {
        char comment[64];
        std::snprintf(comment, sizeof comment, "QuorVane KX-V5 V%d.%02d", version / 100,
                      version % 100);
        std::vector<uint8_t> file =
            dfufile::Build(std::vector<uint8_t>(256, 0xA5), 0, 0, 0, comment);
        file.resize(file.size() - dfufile::kSuffixLength);  // the image without the suffix
        return file;
    }

    static void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

    static void PauseFor(int ms, const StopRequested& stop) {
        for (int waited = 0; waited < ms && !stop(); waited += 20) Pause();
    }

    LoopbackDfuSettings settings_;
    DfuPaceTimes pace_;
    std::function<void(const std::string&)> say_;
};

}  // namespace

DfuPaceTimes PaceTimes(DfuPace pace) {
    // A headset is busy about 50 ms with each 1 KiB block it takes (so at most 20 KiB/s) and
    // about a second with manifestation.
    if (pace == DfuPace::Real) return {50, 1000};
    return {0, 0};
}

std::unique_ptr<DfuModeHook> MakeLoopbackDfuHook(const LoopbackDfuSettings& settings,
                                                 std::function<void(const std::string&)> say) {
    return std::make_unique<LoopbackDfuHook>(settings, std::move(say));
}

}  // namespace headsetsim
