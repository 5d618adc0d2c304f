// dfu_bench_libusb: the DFU engine's download through the libusb back end, against the simulated
// device behind umockdev's usbfs emulation (tools/usbfsdevice), next to the same download
// through the in-process back end; and what of the difference is the emulation's.
//
//   dfu_bench_libusb [TRANSFER_SIZE KIB]   (default: 1024 256, then 4096 1024)
//
// It runs itself under umockdev-wrapper when umockdev's preload library is not loaded.
//
// Per block: the step's time from the first block to the end over the blocks. The emulation's
// part: the same requests (DNLOAD and GETSTATUS per block) sent by libusb alone through the
// emulation to the same device. Ours: the rest, the engine and its libusb back end, to be set
// beside the engine's time in process.
//
// Ours is also measured directly, free of the emulation's variance between rounds: the bench
// defines libusb_control_transfer itself, so the engine's library binds to it; it forwards to
// libusb's and adds up the time spent inside. Per block, the download's time less that time is
// what the engine and its back end spend outside libusb.
#include <dlfcn.h>
#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "BenchWaiter.h"
#include "DFUEngine.h"
#include "DFUEngineLocal.h"
#include "DfuDevice.h"
#include "DfuWireServer.h"
#include "UsbfsBus.h"
#include "file/DfuFile.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPort = 2;

// Nanoseconds spent inside libusb_control_transfer while counting is on (the engine's rounds).
std::atomic<bool> countInsideLibusb{false};
std::atomic<long long> insideLibusbNs{0};

}  // namespace

extern "C" int libusb_control_transfer(libusb_device_handle* handle, std::uint8_t requestType,
                                       std::uint8_t request, std::uint16_t value,
                                       std::uint16_t index, unsigned char* data,
                                       std::uint16_t length, unsigned int timeout) {
    using Real = int (*)(libusb_device_handle*, std::uint8_t, std::uint8_t, std::uint16_t,
                         std::uint16_t, unsigned char*, std::uint16_t, unsigned int);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "libusb_control_transfer"));
    if (real == nullptr) return LIBUSB_ERROR_NOT_SUPPORTED;
    if (!countInsideLibusb)
        return real(handle, requestType, request, value, index, data, length, timeout);
    const auto start = Clock::now();
    const int result = real(handle, requestType, request, value, index, data, length, timeout);
    insideLibusbNs +=
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    return result;
}

namespace {

qvdfu::DeviceConfig BenchDevice(unsigned transferSize) {
    qvdfu::DeviceConfig config;
    config.startInDfuMode = true;
    config.transferSize = static_cast<std::uint16_t>(transferSize);
    config.attributes = qvdfu::kCanDownload | qvdfu::kManifestationTolerant;
    return config;
}

// Microseconds per block of one download of the file to the device named; and, where asked,
// how many of them were spent inside libusb_control_transfer.
double Download(const wchar_t* name, const std::filesystem::path& file, unsigned long blocks,
                double* insideLibusbUs = nullptr) {
    benchwait::Waiter waiter;
    Clock::time_point blocksStart{};
    waiter.onBlocks = [&] {
        if (blocksStart == Clock::time_point{}) {
            blocksStart = Clock::now();
            insideLibusbNs = 0;
            countInsideLibusb = insideLibusbUs != nullptr;
        }
    };
    DFUEngine engine;
    engine.SetCallback(&waiter);
    if (!engine.CreateUSB(name) || !engine.StartDownload(file.wstring().c_str())) return -1;
    const int result = waiter.Wait();
    const auto end = Clock::now();
    countInsideLibusb = false;
    if (insideLibusbUs != nullptr) *insideLibusbUs = insideLibusbNs / 1000.0 / blocks;
    if (result != 0) {
        std::printf("download to %ls failed: result %d\n", name, result);
        return -1;
    }
    return std::chrono::duration<double, std::micro>(end - blocksStart).count() / blocks;
}

// The same requests as the engine's download (DNLOAD of each block, one GETSTATUS after it),
// sent by libusb directly through the emulation: microseconds per block of the emulation,
// libusb and the device, without the engine and its back end.
double BareBlocksUs(qvdfu::UsbfsBus& bus, unsigned transferSize, unsigned long blocks) {
    libusb_context* context = nullptr;
    if (libusb_init(&context) != 0) return -1;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context, &list);
    double us = -1;
    for (ssize_t i = 0; i < count; ++i) {
        if (libusb_get_device_address(list[i]) != bus.DeviceNumber(kPort)) continue;
        libusb_device_handle* handle = nullptr;
        if (libusb_open(list[i], &handle) != 0) break;
        if (libusb_claim_interface(handle, 0) == 0) {
            std::vector<std::uint8_t> block(transferSize, 0x5A);
            std::uint8_t status[6] = {};
            // The engine's download left the device in dfuDNLOAD-IDLE: a new download starts
            // from dfuIDLE.
            bool ok = libusb_control_transfer(handle, 0x21, qvdfu::DFU_ABORT, 0, 0, nullptr, 0,
                                              1000) == 0;
            const auto start = Clock::now();
            for (unsigned long b = 0; b < blocks && ok; ++b) {
                ok = libusb_control_transfer(handle, 0x21, qvdfu::DFU_DNLOAD,
                                             static_cast<std::uint16_t>(b), 0, block.data(),
                                             static_cast<std::uint16_t>(transferSize),
                                             1000) == static_cast<int>(transferSize) &&
                     libusb_control_transfer(handle, 0xA1, qvdfu::DFU_GETSTATUS, 0, 0, status,
                                             sizeof status, 1000) == 6 &&
                     status[4] == qvdfu::dfuDNLOAD_IDLE;
            }
            if (ok) {
                us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
                     blocks;
            }
            libusb_control_transfer(handle, 0x21, qvdfu::DFU_ABORT, 0, 0, nullptr, 0, 1000);
            libusb_release_interface(handle, 0);
        }
        libusb_close(handle);
    }
    libusb_free_device_list(list, 1);
    libusb_exit(context);
    return us;
}

// The median; negative when a run failed.
double Median(std::vector<double> values) {
    if (std::any_of(values.begin(), values.end(), [](double v) { return v < 0; })) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double KiBPerSecond(unsigned blockBytes, double usPerBlock) {
    return blockBytes * 1e6 / 1024.0 / usPerBlock;
}

int Run(qvdfu::UsbfsBus& bus, unsigned transferSize, unsigned kib) {
    const auto path = std::filesystem::temp_directory_path() / "qv_dfu_bench_libusb.dfu";
    std::vector<std::uint8_t> payload(static_cast<std::size_t>(kib) << 10);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 131);
    const auto file = dfufile::Build(payload, 0x1209, 0x4B58, 1, "QUORVANE KX-V5 BENCH");
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return 1;
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
    const unsigned long blocks =
        (file.size() - dfufile::kSuffixLength + transferSize - 1) / transferSize;

    // Rounds taken in turn, and the median of each: the emulation's times vary widely with
    // the load of the machine.
    constexpr int kRounds = 7;
    std::vector<double> inProcessRuns, libusbRuns, bareRuns, outsideLibusbRuns;
    qvdfu::DfuDevice emulated(BenchDevice(transferSize));
    bus.Plug(emulated, kPort);
    const unsigned long urbsBefore = bus.Counters(kPort).controlUrbs;
    for (int round = 0; round < kRounds; ++round) {
        qvdfu::DfuDevice local(BenchDevice(transferSize));
        dfuengine::AttachLocalDevice(L"bench", [&](const std::uint8_t* request, std::size_t size,
                                                   std::vector<std::uint8_t>& reply) {
            qvdfu::ServeWireMessage(local, request, size, reply);
        });
        inProcessRuns.push_back(Download(L"sim:bench", path, blocks));
        dfuengine::DetachLocalDevice(L"bench");
        double inside = 0;
        libusbRuns.push_back(Download(L"usb:1-2", path, blocks, &inside));
        outsideLibusbRuns.push_back(libusbRuns.back() < 0 ? -1 : libusbRuns.back() - inside);
        bareRuns.push_back(BareBlocksUs(bus, transferSize, blocks));  // back to dfuIDLE
    }
    // The engine's requests only (the bare rounds' are counted too: as many per block).
    const double urbsPerBlock =
        static_cast<double>(bus.Counters(kPort).controlUrbs - urbsBefore) / blocks / kRounds / 2;
    bus.Unplug(kPort);
    std::filesystem::remove(path);
    const double inProcess = Median(inProcessRuns);
    const double throughUsbfs = Median(libusbRuns);
    const double bare = Median(bareRuns);
    const double outside = Median(outsideLibusbRuns);
    if (inProcess < 0 || throughUsbfs < 0 || bare < 0 || outside < 0) return 1;

    std::printf(
        "%4u B blocks, %4u KiB, %3lu blocks: in process %6.1f us/block (%6.0f KiB/s) | libusb "
        "back end %7.1f us/block (%5.0f KiB/s, %.2f transfers/block) = the same requests by "
        "libusb alone %7.1f (emulation, libusb, device) + ours %6.1f | ours measured outside "
        "libusb_control_transfer %6.1f us/block, %+6.1f beside in process\n",
        transferSize, kib, blocks, inProcess, KiBPerSecond(transferSize, inProcess), throughUsbfs,
        KiBPerSecond(transferSize, throughUsbfs), urbsPerBlock, bare, throughUsbfs - bare, outside,
        outside - inProcess);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload == nullptr || std::strstr(preload, "umockdev-preload") == nullptr) {
        std::vector<char*> args{const_cast<char*>("umockdev-wrapper")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::perror("umockdev-wrapper");
        return 1;
    }
    qvdfu::UsbfsBus bus;  // before libusb first runs
    if (argc >= 3) {
        return Run(bus, static_cast<unsigned>(std::atoi(argv[1])),
                   static_cast<unsigned>(std::atoi(argv[2])));
    }
    return Run(bus, 1024, 256) | Run(bus, 4096, 1024);
}
