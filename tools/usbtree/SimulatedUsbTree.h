// A simulated USB tree behind the driver-request layer: host controllers, hubs, ports and
// devices with their descriptors and string tables, answering every request as the Windows
// host-controller and hub drivers do (short buffers refused, ports out of range refused,
// descriptors cut to the requested length, unknown descriptors stalled). Tests can change any
// reply on its way out, fail allocations, and check afterwards that every handle was closed
// and every record released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/usbtree/SimulatedDescriptors.h"
#include "upgrade/enum/UsbHostDriver.h"

namespace upgrade::sim {

struct SimDevice {
    Bytes deviceDescriptor = DeviceDescriptorBytes(0, 0, 0);
    std::vector<Bytes> configurations;  // configuration descriptor sets by index
    // String descriptors by (index, language ID); string 0 is stored under (0, 0) and
    // answered for any language, as devices do.
    std::map<std::pair<std::uint8_t, std::uint16_t>, Bytes> strings;
    std::uint32_t connectionStatus = 1;  // DeviceConnected
    std::string hubName;                 // set for a hub: its driver name (DeviceIsHub)

    void SetLanguages(std::initializer_list<std::uint16_t> languages);
    void SetString(std::uint8_t index, std::uint16_t language, const std::u16string& text);
};

struct SimHub {
    std::string name;
    unsigned portCount = 0;
    std::map<unsigned, SimDevice> ports;
    bool opens = true;
};

// A device like the headset: manufacturer 1, product 2, serial 3, configuration 4 and
// interface 5 strings in every language; the configuration string is `configurationText`.
SimDevice MakeDevice(const std::u16string& configurationText,
                     std::initializer_list<std::uint16_t> languages = {0x0409});
// A plain hub device (class 9) named `hubName`, without strings.
SimDevice MakeHubDevice(const std::string& hubName);

enum class RequestKind {
    RootHubName,
    NodeInformation,
    ConnectionInformation,
    Descriptor,
    ConnectionName
};

// One driver request as the simulation saw it arrive.
struct SimRequest {
    RequestKind kind;
    std::string node;          // the hub's name, or "HCD<n>"
    std::uint32_t port = 0;    // ConnectionIndex, where the request has one
    std::uint16_t wValue = 0;  // setup packet of a descriptor request
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
    std::uint32_t bufferSize = 0;
};

// The reply about to be given; a tamper hook may change any of it.
struct SimReply {
    bool ok = false;
    std::uint32_t bytesReturned = 0;
    std::uint8_t* buffer = nullptr;
    std::uint32_t bufferSize = 0;
};

class SimulatedUsbTree final : public UsbHostDriver {
  public:
    SimulatedUsbTree();
    ~SimulatedUsbTree() override;

    // Host controller "HCD<number>" with a root hub of `portCount` ports.
    SimHub& AddController(int number, const std::string& rootHubName, unsigned portCount);
    // Attaches a device to a port of a hub; returns the stored device.
    SimDevice& Plug(SimHub& hub, unsigned port, SimDevice device);
    // Attaches an external hub (its device is `hubDevice`, named `name`) to a port.
    SimHub& PlugHub(SimHub& hub, unsigned port, const std::string& name, unsigned portCount);
    SimHub& PlugHub(SimHub& hub, unsigned port, SimDevice hubDevice, unsigned portCount);
    // A controller that exists but does not open.
    void SetControllerOpens(int number, bool opens);

    // Called with every reply before it is given.
    std::function<void(const SimRequest&, SimReply&)> tamper;
    // Asked before every record allocation; true makes it fail.
    std::function<bool(std::size_t size)> failAllocation;
    bool logRequests = true;

    const std::vector<std::string>& OpenedPaths() const { return openedPaths_; }
    const std::vector<SimRequest>& Requests() const { return requests_; }
    // String descriptor requests as (index, language) in the order made.
    std::vector<std::pair<int, int>> StringRequests() const;
    int OpenHandles() const { return static_cast<int>(handles_.size()); }
    int LiveRecords() const { return static_cast<int>(liveRecords_.size()); }
    std::size_t PeakRecordBytes() const { return peakRecordBytes_; }
    int AllocationCount() const { return allocationCount_; }
    // Closes of unknown handles, releases of unknown records, requests on closed handles.
    int Misuses() const { return misuses_; }

    UsbNodeHandle OpenNode(const char* devicePath) override;
    void CloseNode(UsbNodeHandle node) override;
    bool GetRootHubName(UsbNodeHandle controller, void* output, std::uint32_t outputSize,
                        std::uint32_t* bytesReturned) override;
    bool GetNodeInformation(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                            std::uint32_t* bytesReturned) override;
    bool GetNodeConnectionInformation(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                      std::uint32_t* bytesReturned) override;
    bool GetDescriptorFromNodeConnection(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                         std::uint32_t* bytesReturned) override;
    bool GetNodeConnectionName(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                               std::uint32_t* bytesReturned) override;
    void* AllocateRecord(std::size_t size) override;
    void ReleaseRecord(void* record) override;

  private:
    struct Controller {
        std::string rootHubName;
        SimHub* rootHub = nullptr;
        bool opens = true;
    };
    struct OpenedNode {
        int controller = -1;  // set for a controller handle
        SimHub* hub = nullptr;
    };

    const OpenedNode* Find(UsbNodeHandle node);
    SimHub* FindHub(UsbNodeHandle node);
    SimHub* HubNamed(const std::string& name);
    // The hub a request on a hub handle goes to, with the request's record begun; null when
    // the handle is no hub's or the buffer is smaller than the request's record.
    SimHub* BeginHubRequest(UsbNodeHandle hub, RequestKind kind, std::uint32_t size,
                            std::size_t recordSize, SimRequest& request);
    bool Finish(SimRequest request, bool ok, std::uint32_t returned, void* buffer,
                std::uint32_t size, std::uint32_t* bytesReturned);

    std::map<int, Controller> controllers_;
    std::vector<std::unique_ptr<SimHub>> hubs_;
    std::map<std::uintptr_t, OpenedNode> handles_;
    std::uintptr_t nextHandle_ = 0x1000;
    std::map<void*, std::size_t> liveRecords_;
    std::size_t liveRecordBytes_ = 0;
    std::size_t peakRecordBytes_ = 0;
    int allocationCount_ = 0;
    int misuses_ = 0;
    std::vector<std::string> openedPaths_;
    std::vector<SimRequest> requests_;
};

}  // namespace upgrade::sim
