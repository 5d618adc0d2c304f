// The libusb back end, run through the real libusb and the kernel's usbfs interface as umockdev
// emulates it, with simulated DFU devices behind the device nodes (UsbfsBus): whole upgrades,
// re-enumeration under a new device number, a stall, a device gone mid-download, a kernel
// driver bound to the DFU interface, permission denied, transfer sizes past libusb's limit, and a
// hung device ended by the control time-out.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "EngineHarness.h"
#include "LibUsbHarness.h"

namespace {

using enginetest::Code;
using enginetest::ExpectEnding;
using enginetest::PluggedDevice;
using enginetest::TheBus;

const char* const kNewFirmware = "QUORVANE KX-V5 V1.02";

// Not manifestation tolerant: it waits for the host's reset after manifestation.
constexpr std::uint8_t kWaitsForReset = qvdfu::kCanDownload | qvdfu::kWillDetach;

// Each test plugs its devices into ports of its own, so that a run of the whole program (one
// bus for all) never meets a device another test left behind.
class LibUsbTest : public ::testing::Test, protected enginetest::StepRunner {
  protected:
    void SetUp() override { enginetest::FastTiming(); }

    // Opens the device on the port by the name the device list gives it, with the new firmware
    // file written for it.
    void Open(const qvdfu::DeviceConfig& config, int port) {
        WriteFirmware(config, kNewFirmware);
        const auto names = enginetest::DeviceNames();
        ASSERT_EQ(names, std::vector<std::wstring>{PortName(port)});
        ASSERT_TRUE(engine_.CreateUSB(names.front().c_str())) << trace_.All();
    }

    static std::wstring PortName(int port) { return L"usb:1-" + std::to_wstring(port); }

    // The engine may judge the device back from the first sign of it; the bus makes its new
    // node a moment later, as udev does. Waits for a node other than `dfuNumber`'s.
    static bool BackInRunTimeMode(int port, int dfuNumber) {
        return TheBus().WaitForNode(port, dfuNumber, 2000);
    }
};

// The headset as it should be built: a composite device in run-time mode (its serial function
// bound to cdc_acm, and the DFU run-time interface) that detaches by itself into DFU mode,
// takes the image, is read back and reset into its new firmware. Every step re-enumerates it
// under a new device number at the same port path, where the engine finds it again; the serial
// function's driver is never touched.
TEST_F(LibUsbTest, WholeUpgradeOfTheHeadsetThroughUsbfs) {
    const auto config = qvdfu::HeadsetConfig();
    PluggedDevice plugged(config, 3);
    qvdfu::DfuDevice& device = plugged.device;
    Open(config, 3);
    const int runtimeNumber = TheBus().DeviceNumber(3);

    EXPECT_EQ(Code(Reconfigure()), DFUEngine::success) << trace_.All();
    EXPECT_TRUE(device.InDfuMode());
    const int dfuNumber = TheBus().DeviceNumber(3);
    EXPECT_NE(dfuNumber, runtimeNumber);
    EXPECT_EQ(Code(Download()), DFUEngine::success) << trace_.All();
    enginetest::ExpectUpgraded(Manifest(), device, kNewFirmware);
    ASSERT_TRUE(BackInRunTimeMode(3, dfuNumber));

    const qvdfu::PortCounters counters = TheBus().Counters(3);
    EXPECT_GE(counters.enumerations, 3u);  // run-time, DFU mode, run-time again
    EXPECT_EQ(counters.driverDetaches, 0u);
    EXPECT_GT(counters.controlUrbs, 6u);  // at least DNLOAD and GETSTATUS per block, read-back
    EXPECT_EQ(device.EarlyPolls(), 0u);
    EXPECT_EQ(enginetest::DeviceNames(), std::vector<std::wstring>{PortName(3)});
}

// A device that does not detach by itself needs the host's reset, in reconfigure and after
// manifestation: libusb_reset_device answers LIBUSB_ERROR_NOT_FOUND as the device enumerates
// anew (its descriptors changed), and it is found again under the same name with a new device
// number.
TEST_F(LibUsbTest, ResetReEnumeratesUnderANewDeviceNumber) {
    auto config = qvdfu::HeadsetConfig();
    config.attributes = kWaitsForReset & ~qvdfu::kWillDetach;
    PluggedDevice plugged(config, 4);
    qvdfu::DfuDevice& device = plugged.device;
    Open(config, 4);
    const int runtimeNumber = TheBus().DeviceNumber(4);

    EXPECT_EQ(Code(Reconfigure()), DFUEngine::success) << trace_.All();
    const int dfuNumber = TheBus().DeviceNumber(4);
    EXPECT_NE(dfuNumber, runtimeNumber);
    EXPECT_TRUE(trace_.Has(L"enumerates anew")) << trace_.All();
    EXPECT_EQ(Code(Download()), DFUEngine::success) << trace_.All();
    enginetest::ExpectUpgraded(Manifest(), device, kNewFirmware);
    EXPECT_TRUE(BackInRunTimeMode(4, dfuNumber));
}

struct FaultCase {
    const char* name;
    qvdfu::Faults faults;
    DFUEngine::ResultCode result;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class LibUsbFaultTest : public LibUsbTest, public ::testing::WithParamInterface<FaultCase> {};

// A stall arrives as LIBUSB_ERROR_PIPE and is explained by the device's status; a device that
// leaves the bus during a DNLOAD as LIBUSB_ERROR_NO_DEVICE, and the engine says it is gone.
TEST_P(LibUsbFaultTest, DownloadEndsWithWhatTheDeviceDid) {
    const auto config = enginetest::DfuModeConfig();
    PluggedDevice plugged(config, 5);
    plugged.device.SetFaults(GetParam().faults);
    Open(config, 5);

    EXPECT_EQ(Code(Reconfigure()), DFUEngine::success) << trace_.All();
    const DFUEngine::Status download = Download();
    EXPECT_EQ(Code(download), GetParam().result) << trace_.All();
    EXPECT_EQ(download.activity.GetOperation(), DFUEngine::download_progress);
}

qvdfu::Faults StallAt(long block) {
    qvdfu::Faults f;
    f.stallAtBlock = block;
    return f;
}
qvdfu::Faults GoneAt(long block) {
    qvdfu::Faults f;
    f.goneAtBlock = block;
    return f;
}

INSTANTIATE_TEST_SUITE_P(Faults, LibUsbFaultTest,
                         ::testing::Values(FaultCase{"StallIsExplainedByTheStatus", StallAt(1),
                                                     DFUEngine::fail_dfu_stalledpkt},
                                           FaultCase{"DeviceGoneMidDownload", GoneAt(1),
                                                     DFUEngine::fail_usb_none}),
                         [](const auto& info) { return std::string(info.param.name); });

// A kernel driver bound to the DFU interface is detached for the upgrade (usbfs refuses the
// claim otherwise) and attached again when the engine lets the device go.
TEST_F(LibUsbTest, KernelDriverIsDetachedAndAttachedAgain) {
    const auto config = qvdfu::HeadsetConfig();
    qvdfu::PlugOptions options;
    options.runtimeDriver = "kxv5_runtime";
    PluggedDevice plugged(config, 6, options);
    {
        DFUEngine engine;
        ASSERT_TRUE(engine.CreateUSB(PortName(6).c_str())) << trace_.All();
        EXPECT_EQ(TheBus().BoundDriver(6), "usbfs");
        EXPECT_EQ(TheBus().Counters(6).driverDetaches, 1u);
    }
    EXPECT_EQ(TheBus().BoundDriver(6), "kxv5_runtime");
    EXPECT_EQ(TheBus().Counters(6).driverAttaches, 1u);

    // And a whole upgrade with it: the driver of each run-time node goes while the engine holds
    // the device (the DFU-mode node has none) and is back once the engine lets it go.
    Open(config, 6);
    EXPECT_EQ(Code(Reconfigure()), DFUEngine::success) << trace_.All();
    const int dfuNumber = TheBus().DeviceNumber(6);
    EXPECT_EQ(Code(Download()), DFUEngine::success) << trace_.All();
    enginetest::ExpectUpgraded(Manifest(), plugged.device, kNewFirmware);
    ASSERT_TRUE(BackInRunTimeMode(6, dfuNumber));
    EXPECT_TRUE(trace_.Has(L"kernel driver")) << trace_.All();
    EXPECT_FALSE(engine_.CreateUSB(L"usb:1-15"));  // releases the device held
    EXPECT_EQ(TheBus().BoundDriver(6), "kxv5_runtime");
}

// The calling thread without CAP_DAC_OVERRIDE, so that file permissions hold for it even as
// root (capabilities belong to a thread on Linux); given back at the end.
class NoPermissionOverride {
  public:
    NoPermissionOverride() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        dropped_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~NoPermissionOverride() {
        if (dropped_) ::syscall(SYS_capset, &header_, saved_);
    }
    NoPermissionOverride(const NoPermissionOverride&) = delete;
    NoPermissionOverride& operator=(const NoPermissionOverride&) = delete;

  private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2] = {};
    bool dropped_ = false;
};

// A device node the user may not write (no udev rule installed): the open fails with EACCES,
// libusb says LIBUSB_ERROR_ACCESS, and the engine's problem names the node and the udev rule.
TEST_F(LibUsbTest, PermissionDeniedNamesTheUdevRule) {
    const auto config = enginetest::DfuModeConfig();
    qvdfu::PlugOptions options;
    options.readOnlyNode = true;
    PluggedDevice plugged(config, 7, options);
    const std::string node = TheBus().DeviceNode(7);
    {
        NoPermissionOverride asUser;
        EXPECT_FALSE(engine_.CreateUSB(PortName(7).c_str()));
    }
    CStringX detail;
    std::uint32_t vendor = 0, product = 0;
    EXPECT_EQ(engine_.GetLastOpenProblem(detail, vendor, product), DFUEngine::open_access_denied);
    const std::wstring text = detail.GetString();
    EXPECT_NE(text.find(L"70-kx-v5.rules"), std::wstring::npos)
        << std::string(text.begin(), text.end());
    EXPECT_NE(text.find(std::wstring(node.begin(), node.end())), std::wstring::npos);
    EXPECT_EQ(vendor, config.vendor);
    EXPECT_EQ(product, config.product);
    EXPECT_TRUE(trace_.Has(L"70-kx-v5.rules")) << trace_.All();
}

// libusb carries at most 4096 bytes in one control transfer on Linux: a device that asks for
// larger blocks gets blocks of 4096, and the image arrives whole.
TEST_F(LibUsbTest, TransferSizeAboveTheLimitGoesInBlocksOf4096) {
    auto config = enginetest::DfuModeConfig();
    config.transferSize = 8192;
    PluggedDevice plugged(config, 8);
    qvdfu::DfuDevice& device = plugged.device;
    Open(config, 8);
    WriteFirmware(config, kNewFirmware, 3 * 4096 + 100);

    EXPECT_EQ(Code(Reconfigure()), DFUEngine::success) << trace_.All();
    EXPECT_EQ(Code(Download()), DFUEngine::success) << trace_.All();
    enginetest::ExpectUpgraded(Manifest(), device, kNewFirmware);
    const auto image = file_.Read();
    EXPECT_EQ(device.Firmware(),
              std::vector<std::uint8_t>(image.begin(), image.end() - dfufile::kSuffixLength));
}

// A device that stops answering: libusb ends each control transfer at the engine's time-out
// (discarding the URB, LIBUSB_ERROR_TIMEOUT), and the step fails instead of waiting for ever.
TEST_F(LibUsbTest, HungDeviceIsEndedByTheControlTimeout) {
    dfuengine::EngineTiming timing = dfuengine::GetEngineTiming();
    timing.controlTimeoutMs = 200;
    dfuengine::SetEngineTiming(timing);
    const auto config = enginetest::DfuModeConfig();
    PluggedDevice plugged(config, 10);
    Open(config, 10);
    EXPECT_EQ(Code(Reconfigure()), DFUEngine::success) << trace_.All();

    TheBus().SetHung(10, true);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Code(Download()), DFUEngine::fail_os) << trace_.All();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(trace_.Has(L"within 200 ms")) << trace_.All();
    TheBus().SetHung(10, false);
}

}  // namespace

int main(int argc, char** argv) {
    enginetest::RequireMockEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
