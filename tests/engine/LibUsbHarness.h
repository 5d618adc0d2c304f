// The bus of emulated usbfs devices the libusb tests share: one per process, made before libusb
// first runs (libusb reads the emulated sysfs and events of the test bed it starts under).
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "UsbfsBus.h"

namespace enginetest {

inline qvdfu::UsbfsBus& TheBus() {
    static qvdfu::UsbfsBus bus;
    return bus;
}

// Fails the program at once where umockdev's preload library is missing: without it libusb
// would see this machine's real (here: no) devices and every test would fail for that.
inline void RequireMockEnvironment() {
    TheBus();
    if (!qvdfu::UsbfsBus::InMockEnvironment()) {
        std::fprintf(stderr,
                     "run this program under umockdev-wrapper (tests/engine/umockdev-run.sh)\n");
        std::exit(2);
    }
}

// Runs a command line as a child of the test, under the same emulation (it inherits umockdev's
// preload library and test bed), with a time-out; its exit status (-1 when it did not exit),
// its output in `output`.
inline int RunChild(const std::string& command, const std::string& logPath, std::string& output) {
    const std::string line = "timeout 120 " + command + " >" + logPath + " 2>&1";
    const int status = std::system(line.c_str());
    std::ifstream in(logPath);
    output.assign(std::istreambuf_iterator<char>(in), {});
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A simulated device plugged into a port of the bus for its lifetime.
class PluggedDevice {
  public:
    PluggedDevice(qvdfu::DeviceConfig config, int port, const qvdfu::PlugOptions& options = {})
        : device(std::move(config)), port_(port) {
        TheBus().Plug(device, port_, options);
    }
    ~PluggedDevice() { TheBus().Unplug(port_); }
    PluggedDevice(const PluggedDevice&) = delete;
    PluggedDevice& operator=(const PluggedDevice&) = delete;

    qvdfu::DfuDevice device;

  private:
    int port_;
};

}  // namespace enginetest
