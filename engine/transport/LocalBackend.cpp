// Back end for devices attached in process (AttachLocalDevice): names "sim:<name>".
#include <map>
#include <mutex>

#include "DFUEngineLocal.h"
#include "Transport.h"
#include "WireDevice.h"

namespace dfuengine {
namespace {

const std::wstring kPrefix = L"sim:";

struct Registry {
    std::mutex mutex;
    std::map<std::wstring, std::shared_ptr<LocalExchange>> devices;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

std::shared_ptr<LocalExchange> Find(const std::wstring& name) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.devices.find(name);
    return it == r.devices.end() ? nullptr : it->second;
}

// An opened local device looks its exchange up on every request, so that a detached device
// reads as gone and a re-attached one is reached again.
class LocalDevice : public WireDevice {
  public:
    explicit LocalDevice(std::wstring name) : name_(std::move(name)) {}

    bool Exchange(const std::vector<std::uint8_t>& request,
                  std::vector<std::uint8_t>& reply) override {
        auto exchange = Find(name_);
        if (!exchange) return false;
        (*exchange)(request.data(), request.size(), reply);
        return true;
    }

  private:
    std::wstring name_;
};

class LocalBackend : public Backend {
  public:
    void List(std::vector<ListedDevice>& devices) override {
        std::vector<std::wstring> all;
        {
            Registry& r = TheRegistry();
            std::lock_guard<std::mutex> lock(r.mutex);
            for (const auto& entry : r.devices) all.push_back(entry.first);
        }
        for (const auto& name : all) {
            LocalDevice device(name);
            DfuDescription d;
            if (device.Describe(d)) devices.push_back({kPrefix + name, {}});
        }
    }

    std::unique_ptr<UsbDevice> Open(const std::wstring& name, OpenFailure&) override {
        if (name.compare(0, kPrefix.size(), kPrefix) != 0) return nullptr;
        const std::wstring key = name.substr(kPrefix.size());
        if (!Find(key)) return nullptr;
        return std::make_unique<LocalDevice>(key);
    }
};

}  // namespace

std::unique_ptr<Backend> MakeLocalBackend() {
    return std::make_unique<LocalBackend>();
}

void AttachLocalDevice(const wchar_t* name, LocalExchange exchange) {
    if (name == nullptr || !exchange) return;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.devices[name] = std::make_shared<LocalExchange>(std::move(exchange));
}

void DetachLocalDevice(const wchar_t* name) {
    if (name == nullptr) return;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.devices.erase(name);
}

}  // namespace dfuengine
