// The loopback TCP transport end to end: a simulated device served on 127.0.0.1, found through
// QV_DFU_LOOPBACK, upgraded by the engine; and the wire server's refusal of malformed messages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "DfuLoopbackServer.h"
#include "EngineHarness.h"

namespace {

using enginetest::Pattern;
using enginetest::Recorder;
using enginetest::TempFile;

void SetLoopbackVariable(const std::string& value) {
#if defined(_WIN32)
    _putenv_s("QV_DFU_LOOPBACK", value.c_str());
#else
    if (value.empty()) {
        unsetenv("QV_DFU_LOOPBACK");
    } else {
        setenv("QV_DFU_LOOPBACK", value.c_str(), 1);
    }
#endif
}

class LoopbackTest : public ::testing::Test {
  protected:
    void TearDown() override { SetLoopbackVariable(""); }
};

TEST_F(LoopbackTest, WholeUpgradeOverTcp) {
    enginetest::FastTiming();
    qvdfu::DeviceConfig config;
    config.transferSize = 1024;
    config.reenumerateMs = 30;
    config.image =
        dfufile::Build(Pattern(64), config.vendor, config.product, 1, "QUORVANE KX-V5 V1.01");
    config.image.resize(config.image.size() - dfufile::kSuffixLength);
    qvdfu::DfuDevice device(config);
    qvdfu::DfuLoopbackServer server(device);
    ASSERT_TRUE(server.Start(0));
    const std::string address = "127.0.0.1:" + std::to_string(server.Port());
    SetLoopbackVariable(address);

    const auto names = enginetest::DeviceNames();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], L"loopback:" + std::wstring(address.begin(), address.end()));

    TempFile file("fw.dfu");
    const auto firmware =
        dfufile::Build(Pattern(100000), config.vendor, config.product, 2, "QUORVANE KX-V5 V1.02");
    file.Write(firmware);
    Recorder recorder;
    DFUEngine engine;
    engine.SetCallback(&recorder);
    ASSERT_TRUE(engine.CreateUSB(names[0].c_str()));
    ASSERT_TRUE(engine.StartReconfigure(false, true, file.Wide().c_str()));
    ASSERT_EQ(recorder.WaitComplete().activity.GetResult().GetCode(), DFUEngine::success);
    ASSERT_TRUE(engine.StartDownload(file.Wide().c_str()));
    const auto downloaded = recorder.WaitComplete();
    ASSERT_EQ(downloaded.activity.GetResult().GetCode(), DFUEngine::success);
    EXPECT_EQ(downloaded.activity.GetOperation(), DFUEngine::download_verify);
    ASSERT_TRUE(engine.StartManifest());
    ASSERT_EQ(recorder.WaitComplete().activity.GetResult().GetCode(), DFUEngine::success);

    EXPECT_FALSE(device.InDfuMode());
    EXPECT_EQ(device.FirmwareComment(), "QUORVANE KX-V5 V1.02");
    auto image = firmware;
    image.resize(image.size() - dfufile::kSuffixLength);
    EXPECT_EQ(device.Firmware(), image);
}

TEST_F(LoopbackTest, AbsentServerListsNothingAndOpenedDeviceReadsAsGone) {
    qvdfu::DfuDevice device;
    auto server = std::make_unique<qvdfu::DfuLoopbackServer>(device);
    ASSERT_TRUE(server->Start(0));
    const std::string address = "127.0.0.1:" + std::to_string(server->Port());
    SetLoopbackVariable(address + ";127.0.0.1:1");  // nobody listens on port 1
    ASSERT_EQ(enginetest::DeviceNames().size(), 1u);
    DFUEngine engine;
    ASSERT_TRUE(engine.CreateUSB(enginetest::DeviceNames()[0].c_str()));
    server.reset();
    EXPECT_TRUE(enginetest::DeviceNames().empty());
    Recorder recorder;
    engine.SetCallback(&recorder);
    ASSERT_TRUE(engine.StartReconfigure(false, false, nullptr));
    const auto status = recorder.WaitComplete();
    EXPECT_EQ(status.activity.GetResult().GetCode(), DFUEngine::fail_usb_open);
}

TEST(DfuWireServerTest, MalformedMessagesAreRefused) {
    qvdfu::DfuDevice device;
    std::vector<std::uint8_t> reply;
    const std::vector<std::vector<std::uint8_t>> bad = {
        {},                                                      // empty
        {9},                                                     // unknown operation
        {dfuwire::kOpDescribe, 0},                               // trailing byte
        {dfuwire::kOpControl, 0x21, 1, 0, 0},                    // setup cut short
        {dfuwire::kOpControl, 0x21, 1, 0, 0, 0, 0, 4, 0, 1, 2},  // OUT data shorter than wLength
        {dfuwire::kOpReset, 1},
    };
    for (const auto& message : bad) {
        qvdfu::ServeWireMessage(device, message.data(), message.size(), reply);
        ASSERT_EQ(reply.size(), 1u);
        EXPECT_EQ(reply[0], dfuwire::kMalformed) << message.size();
    }
    const std::uint8_t describe[] = {dfuwire::kOpDescribe};
    qvdfu::ServeWireMessage(device, describe, 1, reply);
    ASSERT_EQ(reply.size(), 1 + dfuwire::kDescriptionLength);
    EXPECT_EQ(reply[0], dfuwire::kOk);
}

}  // namespace
