// Benchmark of the USB device tree walk (not a test): walk time and peak record memory over a
// simulated tree of 10 host controllers, three levels of external hubs below each root hub
// and 64 devices, each device with five strings in two languages.
//
//   usbwalk_bench [runs]      (default 201 runs; prints the median and the spread)
//   usbwalk_bench --platform  (one walk over this machine's own USB tree, for a manual check
//                              with a real headset attached)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/usbtree/SimulatedUsbTree.h"
#include "upgrade/enum/UsbWalk.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

namespace {

using upgrade::sim::SimHub;
using upgrade::sim::SimulatedUsbTree;

constexpr int kControllers = 10;
constexpr int kHubLevels = 3;
constexpr unsigned kPortsPerHub = 4;
constexpr int kDevices = 64;

int BuildTree(SimulatedUsbTree& tree) {
    std::vector<std::pair<SimHub*, unsigned>> freePorts;
    int hubs = 0;
    for (int controller = 0; controller < kControllers; ++controller) {
        SimHub* hub = &tree.AddController(
            controller, "USB#ROOT_HUB20#4&" + std::to_string(controller) + "#{f18a0e88}",
            kPortsPerHub);
        ++hubs;
        for (int level = 1; level <= kHubLevels; ++level) {
            for (unsigned port = 2; port <= kPortsPerHub; ++port) freePorts.emplace_back(hub, port);
            hub = &tree.PlugHub(
                *hub, 1,
                "USB#VID_05E3&PID_0608#" + std::to_string(controller) + "." + std::to_string(level),
                kPortsPerHub);
            ++hubs;
        }
        for (unsigned port = 1; port <= kPortsPerHub; ++port) freePorts.emplace_back(hub, port);
    }
    // Spread the devices over the free ports of every controller and level.
    for (int device = 0; device < kDevices; ++device) {
        const std::size_t slot = (static_cast<std::size_t>(device) * 37) % freePorts.size();
        const bool headset = device == kDevices - 1;
        const std::u16string text = headset ? u"fw:kxv5_0102.dfu psr:kxv5.psr" : u"Default config";
        tree.Plug(*freePorts[slot].first, freePorts[slot].second,
                  upgrade::sim::MakeDevice(text, {0x0409, 0x0404}));
    }
    return hubs;
}

int WalkThisMachine() {
    std::memset(upgrade::DeviceConfigText, 0, sizeof upgrade::DeviceConfigText);
    const auto start = std::chrono::steady_clock::now();
    upgrade::WalkUsbDeviceTree();
    const auto stop = std::chrono::steady_clock::now();
    std::printf("this machine: \"%s\" in %.1f us\n", upgrade::DeviceConfigText,
                std::chrono::duration<double, std::micro>(stop - start).count());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--platform") == 0) return WalkThisMachine();
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 201;
    SimulatedUsbTree tree;
    const int hubs = BuildTree(tree);

    tree.logRequests = true;
    std::memset(upgrade::DeviceConfigText, 0, sizeof upgrade::DeviceConfigText);
    upgrade::WalkUsbDeviceTree(tree);
    const std::size_t requests = tree.Requests().size();
    const int allocations = tree.AllocationCount();
    tree.logRequests = false;

    std::vector<double> micros;
    for (int run = 0; run < runs; ++run) {
        std::memset(upgrade::DeviceConfigText, 0, sizeof upgrade::DeviceConfigText);
        const auto start = std::chrono::steady_clock::now();
        upgrade::WalkUsbDeviceTree(tree);
        const auto stop = std::chrono::steady_clock::now();
        micros.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
    }
    std::sort(micros.begin(), micros.end());

    std::printf("tree: %d controllers, %d hubs (%d levels of external hubs), %d devices\n",
                kControllers, hubs, kHubLevels, kDevices);
    std::printf("per walk: %zu driver requests, %d record allocations\n", requests, allocations);
    std::printf("result: \"%s\"\n", upgrade::DeviceConfigText);
    std::printf("walk time over %d runs: median %.1f us, min %.1f us, max %.1f us\n", runs,
                micros[micros.size() / 2], micros.front(), micros.back());
    std::printf("peak record memory of a walk: %zu bytes (live records at end: %d)\n",
                tree.PeakRecordBytes(), tree.LiveRecords());
#if !defined(_WIN32)
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("process peak resident set: %ld KiB\n", usage.ru_maxrss);
#endif
    return tree.LiveRecords() == 0 && tree.OpenHandles() == 0 ? 0 : 1;
}
