// The whole upgrade through the library as the program uses it: linked through its import
// library, plain functions only, against the engine's in-process simulated DFU device.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "DfuDevice.h"
#include "DfuWireServer.h"
#include "bridge/DfuBridge.h"
#include "engine/DFUEngineLocal.h"
#include "file/DfuFile.h"

namespace {

constexpr uint16_t kVendor = 0x1209;
constexpr uint16_t kProduct = 0x4B58;
constexpr char kComment[] = "QV KX-V5 FW 2.0";

// Notifications arrive on the engine's thread; the test thread waits for each completion.
class Notifications {
  public:
    void Add(int32_t kind, const DfuStatusRecord& record) {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back({kind, record});
        if (kind == DFU_NOTIFY_COMPLETE) {
            changed_.notify_all();
        }
    }

    // Waits for the step's completion and returns everything notified during the step.
    bool WaitForCompletion(std::vector<std::pair<int32_t, DfuStatusRecord>>& step) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool done = changed_.wait_for(lock, std::chrono::seconds(60), [this] {
            for (const auto& n : seen_) {
                if (n.first == DFU_NOTIFY_COMPLETE) {
                    return true;
                }
            }
            return false;
        });
        step.swap(seen_);
        seen_.clear();
        return done;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<int32_t, DfuStatusRecord>> seen_;
};

Notifications g_notifications;

void OnNotification(int32_t kind, const DfuStatusRecord* record) {
    g_notifications.Add(kind, *record);
}

// One engine for the process, registered once as the program does.
DfuEngineHandle Engine() {
    static DfuEngineHandle handle = [] {
        DFUEngine_InitDLL();
        DfuEngineHandle h = DFUEngine_Create();
        DFUEngine_SetCallback(h, OnNotification);
        return h;
    }();
    return handle;
}

// A simulated headset in its run-time mode, listed by the engine while the test runs.
class SimulatedDevice {
  public:
    SimulatedDevice(const wchar_t* name, qvdfu::DeviceConfig config)
        : name_(name), device_(std::move(config)) {
        dfuengine::AttachLocalDevice(
            name, [this](const uint8_t* request, size_t size, std::vector<uint8_t>& reply) {
                qvdfu::ServeWireMessage(device_, request, size, reply);
            });
    }
    ~SimulatedDevice() { dfuengine::DetachLocalDevice(name_.c_str()); }

    qvdfu::DfuDevice& Device() { return device_; }

  private:
    std::wstring name_;
    qvdfu::DfuDevice device_;
};

class BridgeDownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        payload_.resize(10 * 1024 + 77);
        for (size_t i = 0; i < payload_.size(); ++i) {
            payload_[i] = static_cast<uint8_t>(i * 7 + 3);
        }
        file_ = dfufile::Build(payload_, kVendor, kProduct, 0x0200, kComment);
        fileName_ = std::string("bridge_download_") +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dfu";
        std::FILE* f = std::fopen(fileName_.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        ASSERT_EQ(file_.size(), std::fwrite(file_.data(), 1, file_.size(), f));
        std::fclose(f);
    }
    void TearDown() override { std::remove(fileName_.c_str()); }

    // Finds the device among the listed names, opens it and brings it into DFU mode.
    void OpenAndReconfigure(const char* listedName) {
        std::vector<char> names(DFU_DEVICE_NAME_SLOTS * DFU_DEVICE_NAME_SLOT, 'x');
        const int32_t count = DFUEngine_GetUSBDeviceNames(Engine(), names.data());
        bool listed = false;
        for (int32_t i = 0; i < count; ++i) {
            listed = listed || std::strcmp(&names[DFU_DEVICE_NAME_SLOT * i], listedName) == 0;
        }
        ASSERT_TRUE(listed) << listedName << " among " << count << " names";

        ASSERT_NE(0, DFUEngine_CreateUSB(Engine(), listedName));
        ASSERT_NE(0, DFUEngine_StartReconfigure(Engine(), 0, 1, fileName_.c_str()));
        const auto step = Step();
        ASSERT_FALSE(step.empty());
        EXPECT_EQ(0, step.back().second.result);
    }

    std::vector<std::pair<int32_t, DfuStatusRecord>> Step() {
        std::vector<std::pair<int32_t, DfuStatusRecord>> step;
        EXPECT_TRUE(g_notifications.WaitForCompletion(step)) << "no completion within 60 s";
        return step;
    }

    std::vector<uint8_t> payload_;
    std::vector<uint8_t> file_;
    std::string fileName_;
};

qvdfu::DeviceConfig HeadsetConfig() {
    qvdfu::DeviceConfig config;
    config.vendor = kVendor;
    config.product = kProduct;
    config.transferSize = 1024;
    // Manifestation tolerant and able to upload: the engine then reads the download back.
    config.attributes = qvdfu::kCanDownload | qvdfu::kCanUpload | qvdfu::kWillDetach |
                        qvdfu::kManifestationTolerant;
    return config;
}

TEST_F(BridgeDownloadTest, FileCheckGivesCommentAndIds) {
    char comment[DFU_FILE_COMMENT_SIZE];
    uint32_t vendor = 0, product = 0, release = 0;
    EXPECT_NE(0, DFUEngine_IsDFUFileValid(nullptr, fileName_.c_str(), comment, &vendor, &product,
                                          &release));
    EXPECT_STREQ(kComment, comment);
    EXPECT_EQ(kVendor, vendor);
    EXPECT_EQ(kProduct, product);
    EXPECT_EQ(0x0200u, release);
    EXPECT_EQ(0, DFUEngine_IsDFUFileValid(nullptr, "no_such_file.dfu", nullptr, nullptr, nullptr,
                                          nullptr));
}

TEST_F(BridgeDownloadTest, ReconfigureDownloadManifestUpgradesTheDevice) {
    SimulatedDevice headset(L"kx-v5", HeadsetConfig());
    ASSERT_EQ(&OnNotification, DFUEngine_GetCallback(Engine()));
    OpenAndReconfigure("sim:kx-v5");
    EXPECT_TRUE(headset.Device().InDfuMode());

    ASSERT_NE(0, DFUEngine_StartDownload(Engine(), fileName_.c_str()));
    const auto download = Step();
    ASSERT_FALSE(download.empty());
    int32_t lastPercent = -1;
    bool verified = false;
    for (const auto& n : download) {
        if (n.first == DFU_NOTIFY_PROGRESS) {
            EXPECT_GE(n.second.percent, lastPercent);
            EXPECT_LE(n.second.percent, 100);
            lastPercent = n.second.percent;
        }
        verified = verified || n.second.operation == 10;  // download_verify
    }
    EXPECT_GT(lastPercent, 0) << "no progress was forwarded";
    EXPECT_TRUE(verified) << "the download was not read back";
    const DfuStatusRecord& end = download.back().second;
    EXPECT_EQ(DFU_NOTIFY_COMPLETE, download.back().first);
    EXPECT_EQ(0, end.result);

    DfuStatusRecord status;
    std::memset(&status, 0x5A, sizeof status);
    DFUEngine_GetStatus(Engine(), &status);
    EXPECT_EQ(0, status.result);

    ASSERT_NE(0, DFUEngine_StartManifest(Engine()));
    const auto manifest = Step();
    ASSERT_FALSE(manifest.empty());
    EXPECT_EQ(0, manifest.back().second.result);

    const std::vector<uint8_t> image(file_.begin(), file_.end() - dfufile::kSuffixLength);
    EXPECT_EQ(image, headset.Device().Firmware());
    EXPECT_EQ(kComment, headset.Device().FirmwareComment());
    EXPECT_EQ(1u, headset.Device().ManifestCount());
}

// The failure the program reports as "Result = fail_dfu_verify, Operation = download_verify".
TEST_F(BridgeDownloadTest, ReadBackMismatchEndsTheDownloadWithFailDfuVerify) {
    SimulatedDevice headset(L"kx-v5-bad", HeadsetConfig());
    qvdfu::Faults faults;
    faults.verifyMismatch = true;
    headset.Device().SetFaults(faults);
    OpenAndReconfigure("sim:kx-v5-bad");

    ASSERT_NE(0, DFUEngine_StartDownload(Engine(), fileName_.c_str()));
    const auto download = Step();
    ASSERT_FALSE(download.empty());
    EXPECT_EQ(25, download.back().second.result);     // fail_dfu_verify
    EXPECT_EQ(10, download.back().second.operation);  // download_verify
}

}  // namespace
