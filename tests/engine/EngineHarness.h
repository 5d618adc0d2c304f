// Test helpers: a simulated device attached in process, a callback that records every
// notification, temporary firmware files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "DFUEngine.h"
#include "DFUEngineLocal.h"
#include "DfuDevice.h"
#include "DfuWireServer.h"
#include "file/DfuFile.h"

namespace enginetest {

// A simulated device listed to the engine as "sim:<name>" for its lifetime.
class SimDevice {
  public:
    explicit SimDevice(qvdfu::DeviceConfig config = {}, std::wstring name = L"dev")
        : device(std::move(config)), name_(std::move(name)) {
        dfuengine::AttachLocalDevice(name_.c_str(),
                                     [this](const std::uint8_t* request, std::size_t size,
                                            std::vector<std::uint8_t>& reply) {
                                         qvdfu::ServeWireMessage(device, request, size, reply);
                                     });
    }
    ~SimDevice() { dfuengine::DetachLocalDevice(name_.c_str()); }
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    std::wstring EngineName() const { return L"sim:" + name_; }

    qvdfu::DfuDevice device;

  private:
    std::wstring name_;
};

struct Event {
    int kind;  // 0 activity, 1 progress, 2 complete
    DFUEngine::Status status;
};

class Recorder : public DFUEngine::Callback {
  public:
    void OnActivity(DFUEngine*, const DFUEngine::Status& s) override { Add(0, s); }
    void OnProgress(DFUEngine*, const DFUEngine::Status& s) override { Add(1, s); }
    void OnComplete(DFUEngine*, const DFUEngine::Status& s) override { Add(2, s); }

    // Waits for the next completion not taken yet; fails the test on time-out.
    DFUEngine::Status WaitComplete(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool done =
            changed_.wait_for(lock, timeout, [this] { return completions_.size() > taken_; });
        EXPECT_TRUE(done) << "no completion notification";
        if (!done) return {};
        return completions_[taken_++];
    }

    std::vector<Event> TakeEvents() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Event> out;
        out.swap(events_);
        return out;
    }

  private:
    void Add(int kind, const DFUEngine::Status& s) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back({kind, s});
        if (kind == 2) completions_.push_back(s);
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    std::vector<DFUEngine::Status> completions_;
    std::size_t taken_ = 0;
};

// The names GetUSBDeviceNames lists now.
inline std::vector<std::wstring> DeviceNames() {
    CStringListX list;
    DFUEngine::GetUSBDeviceNames(list);
    std::vector<std::wstring> out;
    for (auto pos = list.GetHeadPosition(); pos != nullptr;) {
        out.push_back(list.GetNext(pos).GetString());
    }
    return out;
}

inline std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> out(size);
    std::uint32_t x = seed * 2654435761u + 12345;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return out;
}

// A file in the test's temporary folder, removed afterwards.
class TempFile {
  public:
    explicit TempFile(const std::string& leaf) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string unique = info != nullptr
                                 ? std::string(info->test_suite_name()) + "_" + info->name()
                                 : std::string("x");
        for (auto& c : unique) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        path_ = std::filesystem::temp_directory_path() / ("qvdfu_" + unique + "_" + leaf);
    }
    ~TempFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    void Write(const std::vector<std::uint8_t>& data) const {
        std::ofstream out(path_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()),
                  static_cast<std::streamsize>(data.size()));
    }
    std::vector<std::uint8_t> Read() const {
        std::ifstream in(path_, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    std::wstring Wide() const { return path_.wstring(); }
    std::string Narrow() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

inline qvdfu::DeviceConfig DfuModeConfig() {
    qvdfu::DeviceConfig c;
    c.startInDfuMode = true;
    c.image = dfufile::Build(Pattern(100, 9), c.vendor, c.product, c.release, "OLD V1.00");
    c.image.resize(c.image.size() - dfufile::kSuffixLength);
    return c;
}

// Collects the engine trace.
class TraceLog {
  public:
    TraceLog() { DFUEngine::SetTraceSink(&TraceLog::Sink, this); }
    ~TraceLog() { DFUEngine::SetTraceSink(nullptr, nullptr); }
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    bool Has(const std::wstring& part) {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::any_of(lines_.begin(), lines_.end(), [&](const std::wstring& line) {
            return line.find(part) != std::wstring::npos;
        });
    }
    std::string All() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string out;
        for (const auto& line : lines_) out += std::string(line.begin(), line.end()) + "\n";
        return out;
    }

  private:
    static void Sink(void* context, const wchar_t* line) {
        auto* self = static_cast<TraceLog*>(context);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->lines_.emplace_back(line);
    }
    std::mutex mutex_;
    std::vector<std::wstring> lines_;
};

inline DFUEngine::ResultCode Code(const DFUEngine::Status& s) {
    return s.activity.GetResult().GetCode();
}

inline void ExpectEnding(const DFUEngine::Status& s, DFUEngine::ResultCode result,
                         DFUEngine::Operation operation, DFUEngine::SubOperation sub) {
    EXPECT_EQ(Code(s), result);
    EXPECT_EQ(s.activity.GetOperation(), operation);
    EXPECT_EQ(s.activity.GetSubOperation(), sub);
}

// The normal success ending, with the device running the new firmware.
inline void ExpectUpgraded(const DFUEngine::Status& manifest, qvdfu::DfuDevice& device,
                           const std::string& firmware) {
    ExpectEnding(manifest, DFUEngine::success, DFUEngine::manifest_retry_runtime,
                 DFUEngine::transport_established);
    EXPECT_FALSE(device.InDfuMode());
    EXPECT_EQ(device.FirmwareComment(), firmware);
}

// One engine with its recorder, trace and firmware file, run one step at a time.
class StepRunner {
  protected:
    StepRunner() { engine_.SetCallback(&recorder_); }

    void WriteFirmware(const qvdfu::DeviceConfig& c, const std::string& comment,
                       std::size_t payload = 3000, std::uint16_t product = 0) {
        file_.Write(dfufile::Build(Pattern(payload, 5), c.vendor,
                                   product != 0 ? product : c.product, c.release, comment));
    }

    // The one device listed, opened.
    void OpenTheDevice() {
        const auto names = DeviceNames();
        ASSERT_EQ(names.size(), 1u);
        ASSERT_TRUE(engine_.CreateUSB(names.front().c_str())) << trace_.All();
    }

    DFUEngine::Status Run(const std::function<bool(DFUEngine&)>& start) {
        EXPECT_TRUE(start(engine_)) << "step did not start";
        return recorder_.WaitComplete();
    }
    DFUEngine::Status Reconfigure() {
        return Run(
            [&](DFUEngine& e) { return e.StartReconfigure(false, true, file_.Wide().c_str()); });
    }
    DFUEngine::Status Download() {
        return Run([&](DFUEngine& e) { return e.StartDownload(file_.Wide().c_str()); });
    }
    DFUEngine::Status Manifest() {
        return Run([](DFUEngine& e) { return e.StartManifest(); });
    }
    // Reconfigure and download, which must succeed; then the manifest step's status.
    DFUEngine::Status UpgradeToManifest() {
        EXPECT_EQ(Code(Reconfigure()), DFUEngine::success) << trace_.All();
        EXPECT_EQ(Code(Download()), DFUEngine::success) << trace_.All();
        return Manifest();
    }

    TraceLog trace_;
    TempFile file_{"fw.dfu"};
    Recorder recorder_;
    DFUEngine engine_;
};

// Short waits so that failing re-enumerations end quickly.
inline void FastTiming() {
    dfuengine::EngineTiming t;
    t.busyLimitMs = 2000;
    t.enumerationWaitMs = 1500;
    t.listIntervalMs = 5;
    dfuengine::SetEngineTiming(t);
}

}  // namespace enginetest
