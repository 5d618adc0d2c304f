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
#include "Trace.h"
#include "transport/Transport.h"

namespace {

using dfuengine::UsbDevice;

std::mutex g_timingMutex;
dfuengine::EngineTiming g_timing;

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
        dfuengine::OpenFailure failure;
        if (name == nullptr || busy_) {
            failure.problem = name == nullptr ? open_not_found : open_busy;
            failure.detail =
                name == nullptr ? L"no device name given" : L"a step is running on this engine";
            return Refuse(lock, name != nullptr ? name : L"(null)", failure);
        }
        // The device held from before (an earlier upgrade's, or the one kept after a failed
        // wait) goes first: WinUSB grants a device one handle, and it may be this very device.
        device_.reset();
        lock.unlock();
        auto device = dfuengine::OpenDevice(name, failure);
        dfuengine::DfuDescription d;
        if (device && !device->Describe(d)) {
            device.reset();
            failure.problem = open_failed;
            failure.detail = L"the device's descriptors could not be read";
        }
        lock.lock();
        if (!device || busy_) {
            if (device) {
                failure.problem = open_busy;
                failure.detail = L"a step is running on this engine";
            }
            return Refuse(lock, name, failure);
        }
        device_ = std::move(device);
        deviceName_ = name;
        location_ = device_->Location();
        vendor_ = d.vendor;
        sequence_ = dfuengine::Handover{};
        problem_ = dfuengine::OpenFailure{};
        problem_.problem = open_ok;
        problem_.vendor = d.vendor;
        problem_.product = d.product;
        return true;
    }

    OpenProblem LastOpenProblem(std::wstring& detail, std::uint32_t& vendor,
                                std::uint32_t& product) {
        std::lock_guard<std::mutex> lock(mutex_);
        detail = problem_.detail;
        vendor = problem_.vendor;
        product = problem_.product;
        return problem_.problem;
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
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        const std::uint32_t interval = dfuengine::GetEngineTiming().listIntervalMs;
        for (;;) {
            const Seen seen = LookForDevice();
            if ((seen == Seen::dfu && mode != Mode::runtime) ||
                (seen == Seen::runtime && mode != Mode::dfu)) {
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) break;
            if (!Sleep(interval)) break;
        }
        // Keep a handle on the device by name so that later steps fail cleanly, not crash.
        if (!device_) device_ = dfuengine::OpenDevice(deviceName_);
        if (!device_) device_ = std::make_unique<AbsentDevice>();
        return false;
    }

    dfuengine::Handover& Sequence() override { return sequence_; }

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

    // Refuses an open: the problem is kept for GetLastOpenProblem and traced (unlocked: the
    // sink may take its time).
    bool Refuse(std::unique_lock<std::mutex>& lock, const std::wstring& name,
                const dfuengine::OpenFailure& failure) {
        problem_ = failure;
        lock.unlock();
        std::wstring line = L"CreateUSB " + name + L": " + failure.detail;
        if (failure.vendor != 0 || failure.product != 0) {
            line += L" (VID:PID " + dfuengine::UsbIdText(failure.vendor, failure.product) + L")";
        }
        dfuengine::Trace(line);
        return false;
    }

  public:
    // One look, every earlier handle released first. The same name; else a device listed at
    // the same place (parent hub and port: a re-enumerated device may come back under another
    // name, with another product ID in DFU mode or another path); else, only where the place is
    // not known, the only device listed. A renamed device must have our device's vendor:
    // another maker's device is never taken for ours.
    Seen LookForDevice() override {
        device_.reset();
        std::vector<dfuengine::ListedDevice> listed;
        dfuengine::ListDevices(listed);
        std::vector<const dfuengine::ListedDevice*> candidates;
        for (const auto& entry : listed) {
            if (entry.name == deviceName_) candidates.insert(candidates.begin(), &entry);
        }
        for (const auto& entry : listed) {
            if (!location_.empty() && entry.name != deviceName_ && entry.location == location_) {
                candidates.push_back(&entry);
            }
        }
        if (candidates.empty() && location_.empty() && listed.size() == 1) {
            candidates.push_back(&listed.front());
        }
        for (const auto* entry : candidates) {
            auto device = dfuengine::OpenDevice(entry->name);
            dfuengine::DfuDescription d;
            const bool renamed = entry->name != deviceName_;
            if (!device || !device->Describe(d) || (renamed && d.vendor != vendor_)) continue;
            if (renamed) {
                dfuengine::Trace(L"found the device again as " + entry->name +
                                 (location_.empty() ? L"" : L", at the same place"));
            }
            device_ = std::move(device);
            deviceName_ = entry->name;
            if (location_.empty()) location_ = device_->Location();
            return d.dfuMode ? Seen::dfu : Seen::runtime;
        }
        return dfuengine::UsbDeviceAt(location_, vendor_) ? Seen::otherDevice : Seen::absent;
    }

  private:
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
    std::wstring location_;     // where it is plugged in; empty when its back end cannot tell
    std::uint16_t vendor_ = 0;  // of the device opened by CreateUSB
    dfuengine::OpenFailure problem_;
    dfuengine::Handover sequence_;
    bool busy_ = false;
    bool quit_ = false;
    bool cancel_ = false;
    int lastNotifiedPercent_ = -1;
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
    std::wstring text;
    const OpenProblem problem = impl_->LastOpenProblem(text, vendor, product);
    detail = CStringX(text.c_str(), text.size());
    return problem;
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
    std::vector<dfuengine::ListedDevice> found;
    dfuengine::ListDevices(found);
    for (const auto& d : found) names.AddTail(CStringX(d.name.c_str(), d.name.size()));
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
