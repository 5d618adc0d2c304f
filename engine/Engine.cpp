// DFUEngine: the object the caller holds. Steps run one at a time on the engine's own worker
// thread; Start... queues a step and answers at once; the worker reports through the callback.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <thread>

#include "DFUEngine.h"
#include "DFUEngineLocal.h"
#include "FileAccess.h"
#include "StepContext.h"
#include "transport/Transport.h"

namespace {

using dfuengine::UsbDevice;

std::mutex g_timingMutex;
dfuengine::EngineTiming g_timing;

// The trace sink: stored; this engine emits no trace lines yet.
std::mutex g_traceMutex;
DFUEngine::TraceSink g_traceSink = nullptr;
void* g_traceContext = nullptr;

}  // namespace

namespace dfuengine {

void SetEngineTiming(const EngineTiming& timing) {
    std::lock_guard<std::mutex> lock(g_timingMutex);
    g_timing = timing;
}

EngineTiming GetEngineTiming() {
    std::lock_guard<std::mutex> lock(g_timingMutex);
    return g_timing;
}

}  // namespace dfuengine

class DFUEngine::Impl : public dfuengine::StepContext {
  public:
    explicit Impl(DFUEngine* owner) : owner_(owner) {}

    ~Impl() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
            cancel_ = true;
        }
        wake_.notify_all();
        if (worker_.joinable()) worker_.join();
    }

    bool Open(const wchar_t* name) {
        std::unique_lock<std::mutex> lock(mutex_);
        openProblem_ = open_failed;
        if (name == nullptr || busy_) return false;
        lock.unlock();
        auto device = dfuengine::OpenDevice(name);
        dfuengine::DfuDescription d;
        if (!device || !device->Describe(d)) return false;
        lock.lock();
        if (busy_) return false;
        openProblem_ = open_ok;
        device_ = std::move(device);
        deviceName_ = name;
        vendor_ = d.vendor;
        manifestedByDownload_ = false;
        nextBlock_ = 0;
        return true;
    }

    OpenProblem LastOpenProblem() {
        std::lock_guard<std::mutex> lock(mutex_);
        return openProblem_;
    }

    void SetCallback(Callback* callback) {
        std::lock_guard<std::mutex> lock(mutex_);
        callback_ = callback;
    }

    void GetStatus(Status& status) {
        std::lock_guard<std::mutex> lock(mutex_);
        status = status_;
    }

    bool Start(Operation first, std::function<ResultCode()> body) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (busy_ || quit_ || !device_) return false;
            busy_ = true;
            cancel_ = false;
            status_ = Status{};
            status_.state = step_running;
            status_.activity = Activity(first, no_sub_operation, 0, 0, success);
            job_ = std::move(body);
            if (!worker_.joinable()) worker_ = std::thread([this] { WorkerLoop(); });
        }
        wake_.notify_all();
        return true;
    }

    // StepContext
    UsbDevice& Device() override { return *device_; }

    void SetActivity(Operation operation, SubOperation sub) override {
        Status copy;
        Callback* callback;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const Activity& a = status_.activity;
            if (a.GetOperation() == operation && a.GetSubOperation() == sub) return;
            status_.activity =
                Activity(operation, sub, a.GetBytesDone(), a.GetBytesTotal(), a.GetResult());
            copy = status_;
            callback = callback_;
        }
        if (callback != nullptr) callback->OnActivity(owner_, copy);
    }

    void SetProgress(int percent, std::uint32_t done, std::uint32_t total) override {
        Status copy;
        Callback* callback;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const Activity& a = status_.activity;
            // Percent never goes back within a step; bytes are always kept up to date, but a
            // notification goes out only when the percentage moved.
            if (percent > status_.percent) status_.percent = percent;
            status_.activity =
                Activity(a.GetOperation(), a.GetSubOperation(), done, total, a.GetResult());
            if (status_.percent == lastNotifiedPercent_) return;
            lastNotifiedPercent_ = status_.percent;
            copy = status_;
            callback = callback_;
        }
        if (callback != nullptr) callback->OnProgress(owner_, copy);
    }

    bool Sleep(std::uint32_t ms) override {
        // Never shorter than asked: a device may refuse a poll that comes before its
        // bwPollTimeout, and a timed wait can return early on coarse platform timers.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::unique_lock<std::mutex> lock(mutex_);
        while (!cancel_ && std::chrono::steady_clock::now() < deadline) {
            wake_.wait_until(lock, deadline);
        }
        return !cancel_;
    }

    bool Cancelled() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return cancel_;
    }

    bool Reattach(Mode mode, std::uint32_t timeoutMs) override {
        device_.reset();
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        const std::uint32_t interval = dfuengine::GetEngineTiming().listIntervalMs;
        for (;;) {
            if (TryReattach(mode)) return true;
            if (std::chrono::steady_clock::now() >= deadline) break;
            if (!Sleep(interval)) break;
        }
        // Keep a handle on the device by name so that later steps fail cleanly, not crash.
        if (!device_) device_ = dfuengine::OpenDevice(deviceName_);
        if (!device_) device_ = std::make_unique<AbsentDevice>();
        return false;
    }

    bool& ManifestedByDownload() override { return manifestedByDownload_; }
    std::uint16_t& NextBlock() override { return nextBlock_; }

  private:
    // Stands in for a device that could not be opened again: every request finds it gone.
    class AbsentDevice : public UsbDevice {
      public:
        bool Describe(dfuengine::DfuDescription&) override { return false; }
        dfuengine::UsbResult Control(const dfuengine::UsbSetup&, std::uint8_t*,
                                     std::size_t& transferred) override {
            transferred = 0;
            return dfuengine::UsbResult::gone;
        }
        dfuengine::UsbResult Reset() override { return dfuengine::UsbResult::gone; }
    };

    // The same name first; a device whose name changed on re-enumeration (another product ID
    // in DFU mode, another device path) is accepted when it is the only device listed and has
    // our device's vendor: another maker's device must never be taken for ours.
    bool TryReattach(Mode mode) {
        std::vector<std::wstring> names;
        dfuengine::ListDevices(names);
        bool renamed = false;
        std::vector<std::wstring> candidates;
        for (const auto& name : names) {
            if (name == deviceName_) candidates.insert(candidates.begin(), name);
        }
        if (candidates.empty() && names.size() == 1) {
            candidates.push_back(names.front());
            renamed = true;
        }
        for (const auto& name : candidates) {
            auto device = dfuengine::OpenDevice(name);
            dfuengine::DfuDescription d;
            if (device && device->Describe(d) && (!renamed || d.vendor == vendor_) &&
                (mode == Mode::any || d.dfuMode == (mode == Mode::dfu))) {
                device_ = std::move(device);
                deviceName_ = name;
                return true;
            }
        }
        return false;
    }

    void WorkerLoop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || job_; });
            if (!job_) return;
            auto job = std::move(job_);
            job_ = nullptr;
            lastNotifiedPercent_ = -1;
            Status first = status_;
            Callback* callback = callback_;
            lock.unlock();
            if (callback != nullptr) callback->OnActivity(owner_, first);
            ResultCode result;
            try {
                result = job();
            } catch (const std::bad_alloc&) {
                result = fail_os;
            } catch (...) {
                result = fail_exception;
            }
            lock.lock();
            Complete(lock, result);
        }
    }

    // Ends the step: the status shows the result; the completion notification goes out after
    // the engine accepts a new step, so that its handler may start the next one.
    void Complete(std::unique_lock<std::mutex>& lock, ResultCode result) {
        const Activity& a = status_.activity;
        status_.state = step_complete;
        if (result == success) status_.percent = 100;
        status_.activity = Activity(a.GetOperation(), a.GetSubOperation(), a.GetBytesDone(),
                                    a.GetBytesTotal(), result);
        busy_ = false;
        const Status copy = status_;
        Callback* callback = callback_;
        lock.unlock();
        if (callback != nullptr) callback->OnComplete(owner_, copy);
        lock.lock();
    }

    DFUEngine* owner_;
    std::mutex mutex_;
    std::condition_variable wake_;
    Status status_;
    Callback* callback_ = nullptr;
    std::unique_ptr<UsbDevice> device_;  // used by the worker only while busy_
    std::wstring deviceName_;
    std::uint16_t vendor_ = 0;  // of the device opened by CreateUSB
    bool manifestedByDownload_ = false;
    std::uint16_t nextBlock_ = 0;
    bool busy_ = false;
    bool quit_ = false;
    bool cancel_ = false;
    int lastNotifiedPercent_ = -1;
    OpenProblem openProblem_ = open_ok;
    std::function<ResultCode()> job_;
    std::thread worker_;
};

DFUEngine::Callback::~Callback() = default;
void DFUEngine::Callback::OnActivity(DFUEngine*, const Status&) {}
void DFUEngine::Callback::OnProgress(DFUEngine*, const Status&) {}
void DFUEngine::Callback::OnComplete(DFUEngine*, const Status&) {}

DFUEngine::DFUEngine() : impl_(new Impl(this)) {}

DFUEngine::~DFUEngine() {
    delete impl_;
}

bool DFUEngine::CreateUSB(const wchar_t* deviceName) {
    return impl_->Open(deviceName);
}

DFUEngine::OpenProblem DFUEngine::GetLastOpenProblem(CStringX& detail, std::uint32_t& vendor,
                                                     std::uint32_t& product) const {
    detail.Empty();
    vendor = product = 0;
    return impl_->LastOpenProblem();
}

void DFUEngine::SetTraceSink(TraceSink sink, void* context) {
    std::lock_guard<std::mutex> lock(g_traceMutex);
    g_traceSink = sink;
    g_traceContext = context;
}

void DFUEngine::SetCallback(Callback* callback) {
    impl_->SetCallback(callback);
}

bool DFUEngine::StartReconfigure(bool dfuModeOnly, bool checkFile, const wchar_t* fileName) {
    if (checkFile && fileName == nullptr) return false;
    const std::wstring name = fileName != nullptr ? fileName : L"";
    return impl_->Start(reconfigure_connect, [this, dfuModeOnly, checkFile, name] {
        return dfuengine::RunReconfigure(*impl_, dfuModeOnly, checkFile, name);
    });
}

bool DFUEngine::StartUpload(const wchar_t* fileName) {
    if (fileName == nullptr) return false;
    const std::wstring name = fileName;
    return impl_->Start(upload_prepare,
                        [this, name] { return dfuengine::RunUpload(*impl_, name); });
}

bool DFUEngine::StartDownload(const wchar_t* fileName) {
    if (fileName == nullptr) return false;
    const std::wstring name = fileName;
    return impl_->Start(download_prepare,
                        [this, name] { return dfuengine::RunDownload(*impl_, name); });
}

bool DFUEngine::StartManifest() {
    return impl_->Start(manifest_start_runtime, [this] { return dfuengine::RunManifest(*impl_); });
}

void DFUEngine::GetStatus(Status& status) const {
    impl_->GetStatus(status);
}

bool DFUEngine::GetUSBDeviceNames(CStringListX& names) {
    std::vector<std::wstring> found;
    dfuengine::ListDevices(found);
    for (const auto& name : found) names.AddTail(CStringX(name.c_str(), name.size()));
    return !found.empty();
}

bool DFUEngine::IsDFUFileValid(const wchar_t* fileName, CStringX& comment, std::uint32_t& vendor,
                               std::uint32_t& product, std::uint32_t& release) {
    comment.Empty();
    vendor = product = release = 0;
    if (fileName == nullptr) return false;
    std::vector<std::uint8_t> data;
    dfufile::FileInfo info;
    if (dfuengine::LoadFirmwareFile(fileName, data, info) != success) return false;
    // Comments are printable ASCII: widening each byte is exact.
    const std::wstring wide(info.comment.begin(), info.comment.end());
    comment = CStringX(wide.c_str(), wide.size());
    vendor = info.vendor;
    product = info.product;
    release = info.release;
    return true;
}

void DFUEngine::InitDLL() {
    // Nothing to prepare: the back ends start on first use.
}
