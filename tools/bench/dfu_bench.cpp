// dfu_bench: download throughput of the DFU engine against the simulated device (in process,
// bwPollTimeout 0), the engine's own time per block and the process's peak memory.
//
//   dfu_bench                      runs every configuration, each in a fresh process
//   dfu_bench TRANSFER_SIZE MIB [verify]   runs one
//
// Engine time per block = (step time - time spent inside the simulated device) / blocks.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "BenchWaiter.h"
#include "DFUEngine.h"
#include "DFUEngineLocal.h"
#include "DfuDevice.h"
#include "DfuWireServer.h"
#include "file/DfuFile.h"

#if defined(__linux__)
#include <sys/resource.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

long PeakKiB() {
#if defined(__linux__)
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#else
    return -1;
#endif
}

int RunOne(unsigned transferSize, unsigned mib, bool verify) {
    qvdfu::DeviceConfig config;
    config.startInDfuMode = true;
    config.transferSize = static_cast<std::uint16_t>(transferSize);
    config.pollTimeoutMs = 0;
    config.attributes =
        qvdfu::kCanDownload | qvdfu::kManifestationTolerant | (verify ? qvdfu::kCanUpload : 0);
    qvdfu::DfuDevice device(config);
    std::chrono::nanoseconds inDevice{0};
    unsigned long messages = 0;
    dfuengine::AttachLocalDevice(L"bench", [&](const std::uint8_t* request, std::size_t size,
                                               std::vector<std::uint8_t>& reply) {
        const auto start = Clock::now();
        qvdfu::ServeWireMessage(device, request, size, reply);
        inDevice += Clock::now() - start;
        ++messages;
    });

    // The file is written in pieces so that preparing it does not raise the peak memory that is
    // measured for the step.
    const std::size_t payload = static_cast<std::size_t>(mib) << 20;
    const std::string comment = "QUORVANE KX-V5 BENCH";
    auto head = dfufile::Build({}, config.vendor, config.product, 1, comment);
    head.resize(head.size() - dfufile::kSuffixLength);
    auto tail = dfufile::Build({}, config.vendor, config.product, 1, comment);
    tail.erase(tail.begin(), tail.end() - dfufile::kSuffixLength);
    const auto path = std::filesystem::temp_directory_path() / "qv_dfu_bench.dfu";
    std::uint32_t crc = dfufile::Crc32(head.data(), head.size());
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(head.data()),
                  static_cast<std::streamsize>(head.size()));
        std::vector<std::uint8_t> chunk(64 * 1024);
        for (std::size_t done = 0; done < payload; done += chunk.size()) {
            for (std::size_t i = 0; i < chunk.size(); ++i) {
                chunk[i] = static_cast<std::uint8_t>((done + i) * 131 + 7);
            }
            crc = dfufile::Crc32(chunk.data(), chunk.size(), crc);
            out.write(reinterpret_cast<const char*>(chunk.data()),
                      static_cast<std::streamsize>(chunk.size()));
        }
        crc = dfufile::Crc32(tail.data(), 12, crc);
        for (int i = 0; i < 4; ++i) tail[12 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        out.write(reinterpret_cast<const char*>(tail.data()),
                  static_cast<std::streamsize>(tail.size()));
    }
    const std::size_t imageSize = head.size() + payload;

    const long baseline = PeakKiB();
    benchwait::Waiter waiter;
    DFUEngine engine;
    engine.SetCallback(&waiter);
    if (!engine.CreateUSB(L"sim:bench")) return 1;
    inDevice = std::chrono::nanoseconds{0};
    const auto start = Clock::now();
    Clock::time_point blocksStart = start;
    waiter.onBlocks = [&] {
        blocksStart = Clock::now();
        inDevice = std::chrono::nanoseconds{0};
    };
    if (!engine.StartDownload(path.wstring().c_str())) return 1;
    const int result = waiter.Wait();
    const auto elapsed = Clock::now() - start;
    std::filesystem::remove(path);
    dfuengine::DetachLocalDevice(L"bench");
    if (result != 0) {
        std::printf("download failed: result %d\n", result);
        return 1;
    }
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const unsigned long blocks = (imageSize + transferSize - 1) / transferSize;
    // From the first block to the end: the file reading before it is not per-block work.
    const auto blocksElapsed = (start + elapsed) - blocksStart;
    const double engineUs =
        std::chrono::duration<double, std::micro>(blocksElapsed - inDevice).count() / blocks;
    std::printf(
        "%5u B blocks %3u MiB%s: %8.0f KiB/s  %6.3f s  %7lu blocks  engine %6.2f us/block"
        "  peak %ld KiB (before step %ld KiB)\n",
        transferSize, mib, verify ? " +verify" : "        ", imageSize / 1024.0 / seconds, seconds,
        blocks, engineUs, PeakKiB(), baseline);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3)
        return RunOne(static_cast<unsigned>(std::atoi(argv[1])),
                      static_cast<unsigned>(std::atoi(argv[2])),
                      argc >= 4 && std::strcmp(argv[3], "verify") == 0);
    int status = 0;
    for (const char* args : {"1024 1", "4096 1", "1024 16", "4096 16", "4096 16 verify"}) {
        const std::string command = std::string("\"") + argv[0] + "\" " + args;
        status |= std::system(command.c_str());
    }
    return status == 0 ? 0 : 1;
}
