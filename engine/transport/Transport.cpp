// Transport core: the list of back ends and the merged device list.
#include "Transport.h"

namespace dfuengine {
namespace {

// Back ends are made once and live for the process; each is safe to call from any thread.
const std::vector<std::unique_ptr<Backend>>& Backends() {
    static const std::vector<std::unique_ptr<Backend>> backends = [] {
        std::vector<std::unique_ptr<Backend>> list;
        list.push_back(MakeLocalBackend());
        list.push_back(MakeLoopbackBackend());
        if (auto winusb = MakeWinUsbBackend()) list.push_back(std::move(winusb));
        return list;
    }();
    return backends;
}

}  // namespace

void ListDevices(std::vector<std::wstring>& names) {
    for (const auto& backend : Backends()) backend->List(names);
}

std::unique_ptr<UsbDevice> OpenDevice(const std::wstring& name) {
    for (const auto& backend : Backends()) {
        if (auto device = backend->Open(name)) return device;
    }
    return nullptr;
}

}  // namespace dfuengine
