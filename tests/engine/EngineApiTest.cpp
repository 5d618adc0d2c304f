// The engine object's contract: device list, opening, one step at a time, chaining from the
// completion notification, destruction during a step.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "EngineHarness.h"

namespace {

using enginetest::Pattern;
using enginetest::Recorder;
using enginetest::SimDevice;
using enginetest::TempFile;

std::vector<std::wstring> Names() {
    CStringListX list;
    const bool any = DFUEngine::GetUSBDeviceNames(list);
    std::vector<std::wstring> out;
    for (auto pos = list.GetHeadPosition(); pos != nullptr;)
        out.push_back(list.GetNext(pos).GetString());
    EXPECT_EQ(any, !out.empty());
    return out;
}

TEST(EngineApiTest, DeviceListFollowsAttachedDevices) {
    EXPECT_TRUE(Names().empty());
    {
        SimDevice a({}, L"a");
        SimDevice b({}, L"b");
        EXPECT_EQ(Names(), (std::vector<std::wstring>{L"sim:a", L"sim:b"}));
    }
    EXPECT_TRUE(Names().empty());
}

TEST(EngineApiTest, NothingStartsWithoutAnOpenedDevice) {
    DFUEngine engine;
    DFUEngine::Status status;
    engine.GetStatus(status);
    EXPECT_EQ(status.state, DFUEngine::step_idle);
    EXPECT_FALSE(engine.CreateUSB(L"sim:nobody"));
    EXPECT_FALSE(engine.CreateUSB(nullptr));
    EXPECT_FALSE(engine.StartReconfigure(false, false, nullptr));
    EXPECT_FALSE(engine.StartDownload(L"x.dfu"));
    EXPECT_FALSE(engine.StartManifest());
    EXPECT_FALSE(engine.StartUpload(L"x.dfu"));
}

class SlowDownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        enginetest::FastTiming();
        auto config = enginetest::DfuModeConfig();
        config.transferSize = 64;
        config.pollTimeoutMs = 100;
        sim_ = std::make_unique<SimDevice>(config);
        file_.Write(dfufile::Build(Pattern(600), config.vendor, config.product, 1, "QV SLOW"));
    }

    std::unique_ptr<SimDevice> sim_;
    TempFile file_{"slow.dfu"};
};

TEST_F(SlowDownloadTest, OneStepAtATime) {
    Recorder recorder;
    DFUEngine engine;
    engine.SetCallback(&recorder);
    ASSERT_TRUE(engine.CreateUSB(sim_->EngineName().c_str()));
    ASSERT_TRUE(engine.StartDownload(file_.Wide().c_str()));
    EXPECT_FALSE(engine.StartManifest());
    EXPECT_FALSE(engine.StartDownload(file_.Wide().c_str()));
    EXPECT_FALSE(engine.CreateUSB(sim_->EngineName().c_str()));
    DFUEngine::Status running;
    engine.GetStatus(running);
    EXPECT_EQ(running.state, DFUEngine::step_running);
    EXPECT_EQ(recorder.WaitComplete().activity.GetResult().GetCode(), DFUEngine::success);
    EXPECT_TRUE(engine.StartManifest());
    EXPECT_EQ(recorder.WaitComplete().activity.GetResult().GetCode(), DFUEngine::success);
}

TEST_F(SlowDownloadTest, DestroyingTheEngineAbortsTheStep) {
    Recorder recorder;
    auto engine = std::make_unique<DFUEngine>();
    engine->SetCallback(&recorder);
    ASSERT_TRUE(engine->CreateUSB(sim_->EngineName().c_str()));
    ASSERT_TRUE(engine->StartDownload(file_.Wide().c_str()));
    engine.reset();
    const auto status = recorder.WaitComplete(std::chrono::milliseconds(0));
    EXPECT_EQ(status.activity.GetResult().GetCode(), DFUEngine::aborted);
    EXPECT_LT(sim_->device.Firmware().size(), 600u) << "the download did not run to its end";
}

// The program starts the next step when it learns of the end of the previous one; a handler
// may also do so from inside the completion notification.
class Chainer : public Recorder {
  public:
    std::wstring file;
    std::atomic<int> started{0};
    void OnComplete(DFUEngine* engine, const DFUEngine::Status& s) override {
        Recorder::OnComplete(engine, s);
        if (started == 0 && s.activity.GetResult().GetCode() == DFUEngine::success) {
            started = engine->StartDownload(file.c_str()) ? 1 : -1;
        }
    }
};

TEST(EngineApiTest, NextStepCanStartFromTheCompletionNotification) {
    enginetest::FastTiming();
    SimDevice sim(enginetest::DfuModeConfig());
    TempFile file("chain.dfu");
    file.Write(dfufile::Build(Pattern(100), 0x1209, 0x4B58, 1, "QV CHAIN"));
    Chainer chainer;
    chainer.file = file.Wide();
    DFUEngine engine;
    engine.SetCallback(&chainer);
    ASSERT_TRUE(engine.CreateUSB(sim.EngineName().c_str()));
    ASSERT_TRUE(engine.StartReconfigure(false, true, file.Wide().c_str()));
    EXPECT_EQ(chainer.WaitComplete().activity.GetOperation(), DFUEngine::reconfigure_checking);
    const auto status = chainer.WaitComplete();
    EXPECT_EQ(chainer.started.load(), 1);
    EXPECT_EQ(status.activity.GetResult().GetCode(), DFUEngine::success);
    EXPECT_EQ(status.activity.GetOperation(), DFUEngine::download_verify);
}

}  // namespace
