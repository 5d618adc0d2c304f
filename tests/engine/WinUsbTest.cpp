// The WinUSB back end, run for real against the model of Windows (WinUsbModel.h) with simulated
// DFU devices on its hub ports: whole upgrades as a standard user and as administrator, the
// node layouts WinUSB meets, transfer sizes, devices that go, hang, come back in other forms or
// have no driver, and several devices at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "EngineHarness.h"
#include "WinUsbModel.h"

namespace {

using enginetest::Code;
using enginetest::ExpectEnding;
using enginetest::Pattern;
using enginetest::Recorder;
using enginetest::TempFile;
using enginetest::TraceLog;
using winusbmodel::WindowsModel;

// A device that starts in DFU mode (the headset was told to enter it over its serial port),
// with firmware it already runs.
qvdfu::DeviceConfig InDfuMode(qvdfu::DeviceConfig c) {
    c.startInDfuMode = true;
    c.image = dfufile::Build(Pattern(100, 9), c.vendor, c.product, c.release, "OLD V1.00");
    c.image.resize(c.image.size() - dfufile::kSuffixLength);
    return c;
}

const char* const kNewFirmware = "QUORVANE KX-V5 V1.02";

// Not manifestation tolerant: it waits for a reset after manifestation (or starts itself).
constexpr std::uint8_t kWaitsForReset = qvdfu::kCanDownload | qvdfu::kWillDetach;

// The model comes first and goes last: the engine's device is closed through it.
struct ModelHolder {
    explicit ModelHolder(WindowsModel::Options options) : model_(options) {}
    WindowsModel model_;
};

class WinUsbTest : public ::testing::Test, protected ModelHolder, protected enginetest::StepRunner {
  protected:
    explicit WinUsbTest(WindowsModel::Options options = {}) : ModelHolder(options) {}

    void SetUp() override {
        enginetest::FastTiming();
        dfuengine::UseWinUsbApi(&model_);
    }
    void TearDown() override { dfuengine::UseWinUsbApi(nullptr); }

    // Plugs the device into a root hub port, writes the new firmware file for it and opens it.
    void PlugAndOpen(qvdfu::DfuDevice& device, const qvdfu::DeviceConfig& config, int port) {
        model_.Plug(device, WindowsModel::kRootHub, port);
        WriteFirmware(config, kNewFirmware);
        OpenTheDevice();
    }

    // The normal success ending, with the device running the new firmware.
    static void ExpectUpgraded(const DFUEngine::Status& manifest, qvdfu::DfuDevice& device) {
        enginetest::ExpectUpgraded(manifest, device, kNewFirmware);
    }
};

// The headset as it should be built, in DFU mode, upgraded by a standard user: no reset is
// possible, the device starts its new firmware by itself and comes back as its composite
// run-time self (serial function and DFU run-time interface).
TEST_F(WinUsbTest, StandardUserUpgradesASelfStartingHeadset) {
    auto config = InDfuMode(qvdfu::HeadsetConfig());
    config.attributes = kWaitsForReset;
    config.selfStartAfterManifest = true;
    qvdfu::DfuDevice device(config);
    PlugAndOpen(device, config, 1);

    ExpectUpgraded(UpgradeToManifest(), device);
    EXPECT_EQ(model_.CyclePortRequests() + model_.NodeRestarts() + model_.RefusedResets(), 0u);
    EXPECT_TRUE(trace_.Has(L"a standard user may not reset")) << trace_.All();
    // Back in run-time mode: the serial function has its driver, the DFU interface WinUSB.
    const auto nodes = model_.NodesOf(device);
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(model_.ServiceOf(nodes[0]), L"usbccgp");
    EXPECT_EQ(model_.ServiceOf(nodes[1]), L"usbser");
    EXPECT_EQ(model_.ServiceOf(nodes[2]), L"WinUSB");
}

struct ResetCase {
    const char* name;
    bool windows8;
    unsigned cyclePorts;
    unsigned nodeRestarts;
};

class WinUsbResetTest : public WinUsbTest, public ::testing::WithParamInterface<ResetCase> {
  protected:
    WinUsbResetTest() : WinUsbTest({true, GetParam().windows8}) {}
};

// As administrator the host resets the device that waits for it: by cycling its hub port where
// Windows offers that, else by restarting its device node.
TEST_P(WinUsbResetTest, AdministratorResetsTheDevice) {
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    config.attributes = kWaitsForReset;
    if (!GetParam().windows8) {
        // Windows 7 reads no MS OS 2.0 descriptors: WinUSB comes from a driver package.
        model_.InstallWinUsbPackage(config.vendor, config.product, -1,
                                    qvdfu::kHeadsetInterfaceGuid);
    }
    qvdfu::DfuDevice device(config);
    PlugAndOpen(device, config, 2);

    ExpectUpgraded(UpgradeToManifest(), device);
    EXPECT_EQ(model_.CyclePortRequests(), GetParam().cyclePorts);
    EXPECT_EQ(model_.NodeRestarts(), GetParam().nodeRestarts);
}

INSTANTIATE_TEST_SUITE_P(Windows, WinUsbResetTest,
                         ::testing::Values(ResetCase{"Windows8CyclesThePort", true, 1, 0},
                                           ResetCase{"Windows7RestartsTheNode", false, 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// WinUSB serves the whole device, whose first interface is a vendor interface: the DFU
// interface is reached through WinUsb_GetAssociatedInterface, else every DFU request would go
// to interface 0.
TEST_F(WinUsbTest, DfuInterfaceThatIsNotTheFirstOfItsNode) {
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    config.runtimeLayout = qvdfu::InterfaceLayout::vendor_then_dfu;
    config.dfuLayout = qvdfu::InterfaceLayout::vendor_then_dfu;
    config.selfStartAfterManifest = true;
    config.attributes = kWaitsForReset;
    qvdfu::DfuDevice device(config);
    PlugAndOpen(device, config, 1);
    ASSERT_EQ(model_.NodesOf(device).size(), 1u);  // one node: the device is not composite

    ExpectUpgraded(UpgradeToManifest(), device);
    EXPECT_EQ(device.EarlyPolls(), 0u);
}

// The headset in run-time mode is composite: its DFU run-time interface is one function
// (&MI_02) beside the serial function. The detach brings it back as another device (another
// product ID in DFU mode), found again at its place.
TEST_F(WinUsbTest, CompositeDeviceInRunTimeMode) {
    auto config = qvdfu::HeadsetConfig();
    config.dfuProduct = 0x4B59;
    config.attributes = kWaitsForReset;
    config.selfStartAfterManifest = true;
    qvdfu::DfuDevice device(config);
    model_.Plug(device, WindowsModel::kRootHub, 3);
    const auto names = enginetest::DeviceNames();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_NE(names.front().find(L"&mi_02#"), std::wstring::npos);
    WriteFirmware(config, kNewFirmware, 3000, 0xFFFF);
    OpenTheDevice();

    const auto reconfigured = Reconfigure();
    ASSERT_EQ(Code(reconfigured), DFUEngine::success) << trace_.All();
    EXPECT_TRUE(device.InDfuMode());
    EXPECT_TRUE(trace_.Has(L"found the device again as \\\\?\\usb#vid_1209&pid_4b59#qv0001#"))
        << trace_.All();
    ASSERT_EQ(Code(Download()), DFUEngine::success);
    ExpectUpgraded(Manifest(), device);
}

class WinUsbTransferSizeTest : public WinUsbTest,
                               public ::testing::WithParamInterface<std::uint16_t> {};

// wTransferSize of 4096 goes in whole blocks; above it the blocks are 4096 bytes (WinUSB
// carries no more in one control transfer), for the download and the read-back.
TEST_P(WinUsbTransferSizeTest, BlocksNeverExceedWhatWinUsbCarries) {
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    config.transferSize = GetParam();
    qvdfu::DfuDevice device(config);
    model_.Plug(device, WindowsModel::kRootHub, 1);
    WriteFirmware(config, kNewFirmware, 20000);
    OpenTheDevice();
    ASSERT_EQ(Code(Reconfigure()), DFUEngine::success);
    const auto status = Download();
    ASSERT_EQ(Code(status), DFUEngine::success) << trace_.All();
    EXPECT_EQ(status.activity.GetOperation(), DFUEngine::download_verify);
    EXPECT_EQ(model_.LargestControlBuffer(), 4096u);
    EXPECT_EQ(model_.OversizedTransfers(), 0u);
    const auto file = file_.Read();
    EXPECT_EQ(device.Firmware(),
              std::vector<std::uint8_t>(file.begin(), file.end() - dfufile::kSuffixLength));
}

INSTANTIATE_TEST_SUITE_P(Sizes, WinUsbTransferSizeTest,
                         ::testing::Values(std::uint16_t{4096}, std::uint16_t{4097},
                                           std::uint16_t{8192}, std::uint16_t{65535}));

struct GoneCase {
    const char* name;
    DWORD error;  // how a transfer to the device fails once it has gone
    bool stall;   // the device is still there and stalls the block instead
    DFUEngine::ResultCode result;
};

class WinUsbGoneTest : public WinUsbTest, public ::testing::WithParamInterface<GoneCase> {};

// ERROR_GEN_FAILURE is a stall while the device's node is present and the device gone once it
// is not; the other two codes always mean gone.
TEST_P(WinUsbGoneTest, FailedBlockIsTakenForWhatHappened) {
    model_.SetGoneError(GetParam().error);
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    config.transferSize = 512;
    qvdfu::DfuDevice device(config);
    qvdfu::Faults faults;
    (GetParam().stall ? faults.stallAtBlock : faults.goneAtBlock) = 3;
    device.SetFaults(faults);
    PlugAndOpen(device, config, 1);
    ASSERT_EQ(Code(Reconfigure()), DFUEngine::success);
    ExpectEnding(Download(), GetParam().result, DFUEngine::download_progress,
                 DFUEngine::download_processing);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, WinUsbGoneTest,
    ::testing::Values(
        GoneCase{"GenFailureOnceTheNodeIsGone", ERROR_GEN_FAILURE, false, DFUEngine::fail_usb_none},
        GoneCase{"DeviceNotConnected", ERROR_DEVICE_NOT_CONNECTED, false, DFUEngine::fail_usb_none},
        GoneCase{"NoSuchDevice", ERROR_NO_SUCH_DEVICE, false, DFUEngine::fail_usb_none},
        GoneCase{"GenFailureOnAPresentDeviceIsAStall", ERROR_GEN_FAILURE, true,
                 DFUEngine::fail_dfu_stalledpkt}),
    [](const auto& info) { return std::string(info.param.name); });

// After its reset the headset comes back as its serial device alone (no DFU interface): a USB
// device of its vendor at its place, which counts as back in run-time mode.
TEST_F(WinUsbTest, ComesBackAsItsSerialDeviceOnly) {
    model_.SetAdministrator(true);
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    config.attributes = kWaitsForReset;
    config.runtimeLayout = qvdfu::InterfaceLayout::serial_only;
    qvdfu::DfuDevice device(config);
    PlugAndOpen(device, config, 4);

    ExpectEnding(UpgradeToManifest(), DFUEngine::success, DFUEngine::manifest_retry_runtime,
                 DFUEngine::transport_established);
    EXPECT_TRUE(enginetest::DeviceNames().empty());
    const auto nodes = model_.NodesOf(device);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(model_.ServiceOf(nodes[0]), L"usbser");
    EXPECT_TRUE(trace_.Has(L"without its DFU interface")) << trace_.All();
}

// Back from its reset in DFU mode, saying errFIRMWARE: the device refused the new firmware.
TEST_F(WinUsbTest, ComesBackInDfuModeWithAnError) {
    model_.SetAdministrator(true);
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    config.attributes = kWaitsForReset;
    qvdfu::DfuDevice device(config);
    qvdfu::Faults faults;
    faults.rejectFirmware = true;
    device.SetFaults(faults);
    PlugAndOpen(device, config, 1);

    ExpectEnding(UpgradeToManifest(), DFUEngine::fail_dfu_firmware, DFUEngine::manifest_fail,
                 DFUEngine::transport_usb_wait);
    EXPECT_EQ(model_.CyclePortRequests(), 1u);
    EXPECT_TRUE(device.InDfuMode());
}

// A standard user, a device that waits for its reset: the firmware is written, only the reset
// is missing. Success, with the sub-operation that says the device waits (the user unplugs and
// replugs it).
TEST_F(WinUsbTest, WaitsForAResetAStandardUserCannotGive) {
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    config.attributes = kWaitsForReset;
    qvdfu::DfuDevice device(config);
    PlugAndOpen(device, config, 1);

    ExpectEnding(UpgradeToManifest(), DFUEngine::success, DFUEngine::manifest_start_runtime,
                 DFUEngine::transport_usb_wait);
    EXPECT_EQ(device.State(), qvdfu::dfuMANIFEST_WAIT_RESET);
    EXPECT_EQ(model_.CyclePortRequests() + model_.NodeRestarts(), 0u);
    EXPECT_TRUE(trace_.Has(L"unplug and replug the headset")) << trace_.All();

    // Plugged in again, it runs the new firmware.
    device.Replug();
    EXPECT_EQ(device.FirmwareComment(), kNewFirmware);
}

// A DFU device without MS OS 2.0 descriptors and without a driver package: listed, but it cannot
// be opened, and the trace names the missing driver and the device. A driver package then
// binds WinUSB.
TEST_F(WinUsbTest, DeviceWithNoDriverBound) {
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    config.msOs20 = false;
    qvdfu::DfuDevice device(config);
    model_.Plug(device, WindowsModel::kRootHub, 1);
    const auto names = enginetest::DeviceNames();
    ASSERT_EQ(names, std::vector<std::wstring>{L"USB\\VID_1209&PID_4B58\\QV0001"});
    EXPECT_EQ(model_.ServiceOf(names.front()), L"");

    EXPECT_FALSE(engine_.CreateUSB(names.front().c_str()));
    CStringX detail;
    std::uint32_t vendor = 0, product = 0;
    EXPECT_EQ(engine_.GetLastOpenProblem(detail, vendor, product), DFUEngine::open_no_driver);
    EXPECT_STREQ(detail.GetString(), L"no WinUSB driver is bound to USB\\VID_1209&PID_4B58");
    EXPECT_EQ(vendor, 0x1209u);
    EXPECT_EQ(product, 0x4B58u);
    EXPECT_TRUE(
        trace_.Has(L"no WinUSB driver is bound to USB\\VID_1209&PID_4B58 (VID:PID "
                   L"1209:4B58)"))
        << trace_.All();

    model_.InstallWinUsbPackage(0x1209, 0x4B58, -1, qvdfu::kHeadsetInterfaceGuid);
    device.Replug();
    OpenTheDevice();
    EXPECT_EQ(engine_.GetLastOpenProblem(detail, vendor, product), DFUEngine::open_ok);
}

// WinUSB serves the device, but its descriptors name no DeviceInterfaceGUID: there is no device
// interface to open it by.
TEST_F(WinUsbTest, WinUsbWithoutADeviceInterfaceCannotBeOpened) {
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    config.interfaceGuid.clear();
    qvdfu::DfuDevice device(config);
    model_.Plug(device, WindowsModel::kRootHub, 1);
    const auto names = enginetest::DeviceNames();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(model_.ServiceOf(names.front()), L"WinUSB");
    EXPECT_FALSE(engine_.CreateUSB(names.front().c_str()));
    CStringX detail;
    std::uint32_t vendor = 0, product = 0;
    EXPECT_EQ(engine_.GetLastOpenProblem(detail, vendor, product), DFUEngine::open_failed);
    EXPECT_NE(std::wstring(detail.GetString()).find(L"DeviceInterfaceGUIDs"), std::wstring::npos);
}

// WinUSB grants one handle per device. Opening again releases what the engine held (an earlier
// upgrade's device, or the one kept after a failed wait); what keeps another holder's device
// closed is named.
TEST_F(WinUsbTest, OpenReleasesTheHeldDeviceAndNamesWhatStopsIt) {
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    qvdfu::DfuDevice device(config);
    model_.Plug(device, WindowsModel::kRootHub, 1);
    const std::wstring name = enginetest::DeviceNames().at(0);
    CStringX detail;
    std::uint32_t vendor = 0, product = 0;

    ASSERT_TRUE(engine_.CreateUSB(name.c_str()));
    EXPECT_TRUE(engine_.CreateUSB(name.c_str())) << trace_.All();  // the same engine again
    EXPECT_EQ(model_.OpenDeviceFiles(), 1u);

    DFUEngine other;
    EXPECT_FALSE(other.CreateUSB(name.c_str()));
    EXPECT_EQ(other.GetLastOpenProblem(detail, vendor, product), DFUEngine::open_busy);

    EXPECT_FALSE(
        engine_.CreateUSB(L"\\\\?\\usb#vid_1209&pid_0000#x#{00000000-0000-0000-0000-"
                          L"000000000000}"));
    EXPECT_EQ(engine_.GetLastOpenProblem(detail, vendor, product), DFUEngine::open_not_found);
    EXPECT_EQ(model_.OpenDeviceFiles(), 0u);

    model_.HoldByAnotherProgram(device, true);
    EXPECT_FALSE(other.CreateUSB(name.c_str()));
    EXPECT_EQ(other.GetLastOpenProblem(detail, vendor, product), DFUEngine::open_access_denied);
    EXPECT_EQ(vendor, 0x1209u);
}

// Two headsets of the same kind without serial numbers, upgraded at the same time by two
// engines: each comes back from its detach under a new name (another product ID in DFU mode)
// and is found again by its place, never taken for the other.
TEST_F(WinUsbTest, TwoDevicesAtOnceEachFoundAgainByItsPlace) {
    auto config = qvdfu::DeviceConfig{};
    config.serialNumber.clear();
    config.dfuProduct = 0x4B59;
    config.attributes = kWaitsForReset;
    config.selfStartAfterManifest = true;
    config.reenumerateMs = 50;
    qvdfu::DfuDevice first(config), second(config);
    const int hub = model_.AddHub(WindowsModel::kRootHub, 5);
    model_.Plug(first, hub, 1);
    model_.Plug(second, hub, 2);
    const auto names = enginetest::DeviceNames();
    ASSERT_EQ(names.size(), 2u);

    struct Upgrade {
        std::wstring name;
        std::string comment;
        DFUEngine::ResultCode results[3] = {};
    };
    Upgrade upgrades[2];
    const auto run = [&](Upgrade& u) {
        TempFile file("fw_" + u.comment + ".dfu");
        file.Write(dfufile::Build(Pattern(5000, 7), config.vendor, 0xFFFF, config.release,
                                  "QUORVANE KX-V5 " + u.comment));
        Recorder recorder;
        DFUEngine engine;
        engine.SetCallback(&recorder);
        if (!engine.CreateUSB(u.name.c_str())) return;
        const std::function<bool()> steps[] = {
            [&] { return engine.StartReconfigure(false, true, file.Wide().c_str()); },
            [&] { return engine.StartDownload(file.Wide().c_str()); },
            [&] { return engine.StartManifest(); }};
        for (int i = 0; i < 3; ++i) {
            if (!steps[i]()) return;
            u.results[i] = Code(recorder.WaitComplete());
            if (u.results[i] != DFUEngine::success) return;
        }
    };
    upgrades[0] = {names[0], "V1.02A"};
    upgrades[1] = {names[1], "V1.02B"};
    std::thread a(run, std::ref(upgrades[0]));
    std::thread b(run, std::ref(upgrades[1]));
    a.join();
    b.join();

    for (const auto& u : upgrades) {
        for (auto result : u.results) EXPECT_EQ(result, DFUEngine::success) << trace_.All();
    }
    // Each device got the image meant for it: the names listed first are in port order.
    EXPECT_EQ(first.FirmwareComment(), "QUORVANE KX-V5 V1.02A");
    EXPECT_EQ(second.FirmwareComment(), "QUORVANE KX-V5 V1.02B");
}

// A device that stops answering in the middle of the download: the control pipe's time-out
// (set by the back end after every WinUsb_Initialize) ends the transfer, and the step fails.
TEST_F(WinUsbTest, HungDeviceIsEndedByTheControlPipeTimeout) {
    auto timing = dfuengine::GetEngineTiming();
    timing.controlTimeoutMs = 150;
    dfuengine::SetEngineTiming(timing);
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    config.transferSize = 256;
    qvdfu::DfuDevice device(config);
    PlugAndOpen(device, config, 1);
    ASSERT_EQ(Code(Reconfigure()), DFUEngine::success);
    EXPECT_EQ(model_.ControlTimeout(), 150u);
    model_.HangAfter(device, 6);

    ExpectEnding(Download(), DFUEngine::fail_os, DFUEngine::download_progress,
                 DFUEngine::download_processing);
    EXPECT_TRUE(trace_.Has(L"within 150 ms")) << trace_.All();
}

// The model's own rules, those the tests above lean on: one handle per WinUSB device, no
// control buffer over 4096 bytes, the first handle on the node's first interface, no port cycle
// for a standard user.
TEST(WindowsModelTest, KeepsTheDocumentedRules) {
    WindowsModel model;
    auto config = InDfuMode(qvdfu::DeviceConfig{});
    config.dfuLayout = qvdfu::InterfaceLayout::vendor_then_dfu;
    qvdfu::DfuDevice device(config);
    model.Plug(device, WindowsModel::kRootHub, 1);
    const std::wstring path = winusbmodel::InterfacePath(L"USB\\VID_1209&PID_4B58\\QV0001",
                                                         L"{9f6c2d4a-5b3e-4c71-a8d0-3e2b1f7c6a59}");

    HANDLE file = model.CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(model.CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(model.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    WINUSB_INTERFACE_HANDLE usb = nullptr, dfu = nullptr;
    ASSERT_TRUE(model.WinUsb_Initialize(file, &usb));
    USB_INTERFACE_DESCRIPTOR own{};
    ASSERT_TRUE(model.WinUsb_QueryInterfaceSettings(usb, 0, &own));
    EXPECT_EQ(own.bInterfaceClass, 0xFF);  // the vendor interface, not the DFU one
    ASSERT_TRUE(model.WinUsb_GetAssociatedInterface(usb, 0, &dfu));
    EXPECT_FALSE(model.WinUsb_GetAssociatedInterface(usb, 0, &dfu));
    EXPECT_EQ(model.GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    std::vector<UCHAR> buffer(4097);
    WINUSB_SETUP_PACKET status{0xA1, qvdfu::DFU_GETSTATUS, 0, 1, 6};
    ULONG got = 0;
    EXPECT_FALSE(model.WinUsb_ControlTransfer(dfu, status, buffer.data(), 4097, &got, nullptr));
    EXPECT_EQ(model.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Through the first handle the request reaches interface 0, which stalls it.
    EXPECT_FALSE(model.WinUsb_ControlTransfer(usb, status, buffer.data(), 6, &got, nullptr));
    EXPECT_EQ(model.GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_TRUE(model.WinUsb_ControlTransfer(dfu, status, buffer.data(), 6, &got, nullptr));
    EXPECT_EQ(got, 6u);

    const std::wstring hubPath = winusbmodel::InterfacePath(
        L"USB\\ROOT_HUB30\\4&1A2B3C4D&0&0", L"{f18a0e88-c30c-11d0-8815-00a0c906bed8}");
    HANDLE hub = model.CreateFileW(hubPath.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hub, INVALID_HANDLE_VALUE);
    USB_CYCLE_PORT_PARAMS params{1, 0};
    DWORD returned = 0;
    EXPECT_FALSE(model.DeviceIoControl(hub, IOCTL_USB_HUB_CYCLE_PORT, &params, sizeof params,
                                       &params, sizeof params, &returned, nullptr));
    EXPECT_EQ(model.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    model.WinUsb_Free(dfu);
    model.WinUsb_Free(usb);
    model.CloseHandle(file);
    model.CloseHandle(hub);
}

}  // namespace
