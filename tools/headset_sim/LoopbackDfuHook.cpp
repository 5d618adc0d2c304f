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

class LoopbackDfuHook : public DfuModeHook {
  public:
    LoopbackDfuHook(uint16_t port, int32_t timeoutMs, uint32_t blockPollMs,
                    std::function<void(const std::string&)> say)
        : port_(port), timeoutMs_(timeoutMs), blockPollMs_(blockPollMs), say_(std::move(say)) {}

    bool RunDfuMode(int32_t& firmwareVersion, const StopRequested& stop) override {
        // It appears in run-time mode, running the firmware it had on the serial side.
        qvdfu::DeviceConfig config;
        config.image = CurrentImage(firmwareVersion);
        config.pollTimeoutMs = blockPollMs_;
        qvdfu::DfuDevice device(config);
        qvdfu::DfuLoopbackServer server(device);
        if (!server.Start(port_)) {
            say_("DFU cannot listen on port " + std::to_string(port_));
            return true;
        }
        say_("DFU 127.0.0.1:" + std::to_string(server.Port()));

        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs_);
        while (device.ManifestCount() == 0 && Clock::now() < deadline && !stop()) Pause();
        if (device.ManifestCount() > 0) {
            // The host resets the device after manifestation; give it that time, then the
            // headset boots the new image.
            const auto restart = Clock::now() + std::chrono::seconds(5);
            while (device.InDfuMode() && Clock::now() < restart && !stop()) Pause();
            if (!stop()) std::this_thread::sleep_for(std::chrono::milliseconds(300));
        } else if (!stop()) {
            say_("DFU nothing was downloaded");
        }
        server.Stop();

        const std::string comment = device.FirmwareComment();
        const int32_t version = VersionFromComment(comment);
        if (version >= 0) firmwareVersion = version;
        if (!comment.empty()) say_("DFU new firmware: " + comment);
        return !stop();
    }

  private:
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

    uint16_t port_;
    int32_t timeoutMs_;
    uint32_t blockPollMs_;
    std::function<void(const std::string&)> say_;
};

}  // namespace

std::unique_ptr<DfuModeHook> MakeLoopbackDfuHook(uint16_t port, int32_t timeoutMs,
                                                 uint32_t blockPollMs,
                                                 std::function<void(const std::string&)> say) {
    return std::make_unique<LoopbackDfuHook>(port, timeoutMs, blockPollMs, std::move(say));
}

}  // namespace headsetsim
