// Transport core: the list of back ends and the merged device list.
#include "Transport.h"

#include <mutex>

#include "DFUEngineLocal.h"
#include "WinUsbApi.h"

namespace dfuengine {
namespace {

// Back ends are made once and live for the process; each is safe to call from any thread.
const std::vector<std::unique_ptr<Backend>>& FixedBackends() {
    static const std::vector<std::unique_ptr<Backend>> backends = [] {
        std::vector<std::unique_ptr<Backend>> list;
        list.push_back(MakeLocalBackend());
        list.push_back(MakeLoopbackBackend());
#ifndef _WIN32
        list.push_back(MakeLibUsbBackend());
#endif
        return list;
    }();
    return backends;
}

// The WinUSB back end sits over the system's functions, or over the model a test gave it.
struct WinUsbSlot {
    std::mutex mutex;
    bool made = false;
    std::shared_ptr<Backend> backend;
};

WinUsbSlot& Slot() {
    static WinUsbSlot slot;
    return slot;
}

std::shared_ptr<Backend> WinUsb() {
    WinUsbSlot& slot = Slot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (!slot.made) {
        slot.made = true;
        if (WinUsbApi* system = SystemWinUsbApi()) slot.backend = MakeWinUsbBackend(*system);
    }
    return slot.backend;
}

// Every back end, the WinUSB one held for the duration of the call.
template <typename F>
void ForEachBackend(F f) {
    for (const auto& backend : FixedBackends()) {
        if (!f(*backend)) return;
    }
    if (auto winusb = WinUsb()) f(*winusb);
}

}  // namespace

void ListDevices(std::vector<ListedDevice>& devices) {
    ForEachBackend([&](Backend& b) {
        b.List(devices);
        return true;
    });
}

std::unique_ptr<UsbDevice> OpenDevice(const std::wstring& name, OpenFailure& failure) {
    failure = OpenFailure{};
    failure.detail = L"no device named " + name + L" is attached";
    std::unique_ptr<UsbDevice> device;
    ForEachBackend([&](Backend& b) {
        device = b.Open(name, failure);
        return !device && failure.problem == DFUEngine::open_not_found;
    });
    return device;
}

std::unique_ptr<UsbDevice> OpenDevice(const std::wstring& name) {
    OpenFailure ignored;
    return OpenDevice(name, ignored);
}

bool UsbDeviceAt(const std::wstring& location, std::uint16_t vendor) {
    if (location.empty()) return false;
    bool found = false;
    ForEachBackend([&](Backend& b) {
        found = b.UsbDeviceAt(location, vendor);
        return !found;
    });
    return found;
}

void UseWinUsbApi(WinUsbApi* api) {
    WinUsbSlot& slot = Slot();
    std::shared_ptr<Backend> next;
    if (api != nullptr) {
        next = MakeWinUsbBackend(*api);
    } else if (WinUsbApi* system = SystemWinUsbApi()) {
        next = MakeWinUsbBackend(*system);
    }
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.made = true;
    slot.backend = std::move(next);
}

}  // namespace dfuengine
