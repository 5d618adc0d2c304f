// qvdfu, the program, recovering a device in DFU mode through the libusb back end: it runs as a
// child of this test under the usbfs emulation, finds the device by its place ("usb:1-11"),
// writes the firmware file, and ends with the device waiting to be replugged (its reset fails
// here, as when the host may not give one).
#include "EngineHarness.h"
#include "LibUsbHarness.h"

namespace {

using enginetest::PluggedDevice;
using enginetest::TempFile;

TEST(QvdfuOverUsbTest, RecoversADeviceInDfuMode) {
    enginetest::TheBus();
    auto config = enginetest::DfuModeConfig();
    config.attributes = qvdfu::kCanDownload | qvdfu::kCanUpload;  // waits for the reset
    PluggedDevice plugged(config, 11);
    qvdfu::Faults faults;
    faults.resetFails = true;
    plugged.device.SetFaults(faults);

    TempFile file("KX-V5_v103.dfu");
    file.Write(dfufile::Build(enginetest::Pattern(6000, 3), config.vendor, config.product,
                              config.release, "QUORVANE KX-V5 V1.03"));
    TempFile log("qvdfu.log");
    std::string output;
    const int exitCode = enginetest::RunChild(
        std::string(QV_QVDFU) + " recover " + file.Narrow() + " --device usb:1-11 --yes --json",
        log.Narrow(), output);
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_NE(output.find("\"result\":\"success\""), std::string::npos) << output;
    EXPECT_NE(output.find("\"replug\":true"), std::string::npos) << output;
    EXPECT_EQ(plugged.device.ManifestCount(), 1u);
    plugged.device.Replug();
    EXPECT_EQ(plugged.device.FirmwareComment(), "QUORVANE KX-V5 V1.03");
}

}  // namespace

int main(int argc, char** argv) {
    enginetest::RequireMockEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
