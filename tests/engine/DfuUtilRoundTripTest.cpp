// The simulated device against a host nobody here wrote: Debian's dfu-util, run as a child of
// this test under the same usbfs emulation, detaches the headset from run-time mode (it comes
// back in DFU mode under a new device number) and downloads an image to it (-D), then uploads
// it back (-U); the image read back must be the one written, byte for byte.
#include <cstdlib>
#include <sstream>

#include "EngineHarness.h"
#include "LibUsbHarness.h"

namespace {

using enginetest::Pattern;
using enginetest::PluggedDevice;
using enginetest::TempFile;

// Runs dfu-util with the arguments; its exit status, its output in `output`.
int DfuUtil(const std::string& arguments, const TempFile& log, std::string& output) {
    return enginetest::RunChild("dfu-util " + arguments, log.Narrow(), output);
}

TEST(DfuUtilTest, DownloadsAndUploadsTheSameImage) {
    ASSERT_EQ(std::system("command -v dfu-util >/dev/null 2>&1"), 0)
        << "dfu-util is not installed (Debian package dfu-util; tools/install-deps.sh)";
    enginetest::TheBus();
    // The headset as it should be built: composite in run-time mode, detaching by itself.
    auto config = qvdfu::HeadsetConfig();
    config.transferSize = 1024;
    PluggedDevice plugged(config, 9);

    // A firmware file as we ship them (image, then the DFU suffix for 1209:4B58), with a last
    // block that is not full.
    TempFile file("fw.dfu");
    file.Write(dfufile::Build(Pattern(5 * 1024 + 300, 21), config.vendor, config.product,
                              config.release, "QUORVANE KX-V5 V1.02"));
    const auto written = file.Read();
    const std::vector<std::uint8_t> image(written.begin(), written.end() - dfufile::kSuffixLength);

    TempFile log("dfu-util.log");
    std::string output;
    std::ostringstream device;
    device << "-d " << std::hex << config.vendor << ":" << config.product << " -a 0";
    ASSERT_EQ(DfuUtil(device.str() + " -D " + file.Narrow(), log, output), 0) << output;
    EXPECT_EQ(plugged.device.Firmware(), image) << output;
    EXPECT_TRUE(plugged.device.InDfuMode()) << output;
    EXPECT_GE(enginetest::TheBus().Counters(9).enumerations, 2u);

    TempFile uploaded("uploaded.bin");
    ASSERT_EQ(DfuUtil(device.str() + " -U " + uploaded.Narrow(), log, output), 0) << output;
    EXPECT_EQ(uploaded.Read(), image) << output;
    EXPECT_EQ(plugged.device.EarlyPolls(), 0u);
}

}  // namespace

int main(int argc, char** argv) {
    enginetest::RequireMockEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
