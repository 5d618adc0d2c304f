// Test helpers: a simulated device attached in process, a callback that records every
// notification, temporary firmware files.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
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

// Short waits so that failing re-enumerations end quickly.
inline void FastTiming() {
    dfuengine::EngineTiming t;
    t.busyLimitMs = 2000;
    t.enumerationWaitMs = 1500;
    t.listIntervalMs = 5;
    dfuengine::SetEngineTiming(t);
}

}  // namespace enginetest
