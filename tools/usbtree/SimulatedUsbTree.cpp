#include "tools/usbtree/SimulatedUsbTree.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "upgrade/enum/NameRecord.h"
#include "upgrade/enum/UsbRecords.h"

namespace upgrade::sim {
namespace {

constexpr char kDevicePathPrefix[] = "\\\\.\\";

}  // namespace

void SimDevice::SetLanguages(std::initializer_list<std::uint16_t> languages) {
    strings[{0, 0}] = LanguageListBytes(languages);
}

void SimDevice::SetString(std::uint8_t index, std::uint16_t language, const std::u16string& text) {
    strings[{index, language}] = StringDescriptorBytes(text);
}

SimDevice MakeDevice(const std::u16string& configurationText,
                     std::initializer_list<std::uint16_t> languages) {
    SimDevice device;
    device.deviceDescriptor = DeviceDescriptorBytes(1, 2, 3);
    device.configurations.push_back(
        ConfigurationSet({ConfigurationDescriptorBytes(4), InterfaceDescriptorBytes(0, 5),
                          EndpointDescriptorBytes(0x81)}));
    device.SetLanguages(languages);
    for (const std::uint16_t language : languages) {
        device.SetString(1, language, u"Maker");
        device.SetString(2, language, u"KX-V5");
        device.SetString(3, language, u"000102");
        device.SetString(4, language, configurationText);
        device.SetString(5, language, u"DFU");
    }
    return device;
}

SimDevice MakeHubDevice(const std::string& hubName) {
    SimDevice device;
    device.deviceDescriptor = DeviceDescriptorBytes(0, 0, 0, kHubDeviceClass);
    device.configurations.push_back(ConfigurationSet(
        {ConfigurationDescriptorBytes(0), InterfaceDescriptorBytes(0, 0, kHubDeviceClass),
         EndpointDescriptorBytes(0x81)}));
    device.hubName = hubName;
    return device;
}

SimulatedUsbTree::SimulatedUsbTree() = default;

SimulatedUsbTree::~SimulatedUsbTree() {
    // Records a faulty walk left behind are freed here so that the leak shows in the counts
    // of the test, not as a second report of the leak checker.
    for (const auto& record : liveRecords_) std::free(record.first);
}

SimHub& SimulatedUsbTree::AddController(int number, const std::string& rootHubName,
                                        unsigned portCount) {
    hubs_.push_back(std::make_unique<SimHub>());
    SimHub& hub = *hubs_.back();
    hub.name = rootHubName;
    hub.portCount = portCount;
    controllers_[number] = Controller{rootHubName, &hub, true};
    return hub;
}

SimDevice& SimulatedUsbTree::Plug(SimHub& hub, unsigned port, SimDevice device) {
    return hub.ports[port] = std::move(device);
}

SimHub& SimulatedUsbTree::PlugHub(SimHub& hub, unsigned port, const std::string& name,
                                  unsigned portCount) {
    return PlugHub(hub, port, MakeHubDevice(name), portCount);
}

SimHub& SimulatedUsbTree::PlugHub(SimHub& hub, unsigned port, SimDevice hubDevice,
                                  unsigned portCount) {
    hubs_.push_back(std::make_unique<SimHub>());
    SimHub& downstream = *hubs_.back();
    downstream.name = hubDevice.hubName;
    downstream.portCount = portCount;
    Plug(hub, port, std::move(hubDevice));
    return downstream;
}

void SimulatedUsbTree::SetControllerOpens(int number, bool opens) {
    controllers_[number].opens = opens;
}

std::vector<std::pair<int, int>> SimulatedUsbTree::StringRequests() const {
    std::vector<std::pair<int, int>> strings;
    for (const SimRequest& request : requests_) {
        if (request.kind == RequestKind::Descriptor && (request.wValue >> 8) == 3)
            strings.emplace_back(request.wValue & 0xFF, request.wIndex);
    }
    return strings;
}

// CreateFileA: "\\.\HCD<n>" opens an existing controller, "\\.\<name>" a hub of that name.
UsbNodeHandle SimulatedUsbTree::OpenNode(const char* devicePath) {
    openedPaths_.emplace_back(devicePath);
    const std::string path(devicePath);
    const std::size_t prefixLength = sizeof kDevicePathPrefix - 1;
    if (path.compare(0, prefixLength, kDevicePathPrefix) != 0) return nullptr;
    const std::string name = path.substr(prefixLength);
    OpenedNode opened;
    if (name.size() > 3 && name.compare(0, 3, "HCD") == 0 &&
        std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const auto controller = controllers_.find(std::atoi(name.c_str() + 3));
        if (controller == controllers_.end() || !controller->second.opens) return nullptr;
        opened.controller = controller->first;
    } else {
        opened.hub = HubNamed(name);
        if (opened.hub == nullptr || !opened.hub->opens) return nullptr;
    }
    const std::uintptr_t handle = nextHandle_++;
    handles_[handle] = opened;
    return reinterpret_cast<UsbNodeHandle>(handle);
}

// CloseHandle.
void SimulatedUsbTree::CloseNode(UsbNodeHandle node) {
    if (handles_.erase(reinterpret_cast<std::uintptr_t>(node)) == 0) ++misuses_;
}

const SimulatedUsbTree::OpenedNode* SimulatedUsbTree::Find(UsbNodeHandle node) {
    const auto found = handles_.find(reinterpret_cast<std::uintptr_t>(node));
    if (found == handles_.end()) {
        ++misuses_;
        return nullptr;
    }
    return &found->second;
}

SimHub* SimulatedUsbTree::FindHub(UsbNodeHandle node) {
    const OpenedNode* opened = Find(node);
    return opened != nullptr ? opened->hub : nullptr;
}

SimHub* SimulatedUsbTree::BeginHubRequest(UsbNodeHandle hub, RequestKind kind, std::uint32_t size,
                                          std::size_t recordSize, SimRequest& request) {
    SimHub* simHub = FindHub(hub);
    request = SimRequest{kind, simHub ? simHub->name : "", 0, 0, 0, 0, size};
    return simHub != nullptr && size >= recordSize ? simHub : nullptr;
}

SimHub* SimulatedUsbTree::HubNamed(const std::string& name) {
    for (const auto& hub : hubs_) {
        if (!hub->name.empty() && hub->name == name) return hub.get();
    }
    return nullptr;
}

bool SimulatedUsbTree::Finish(SimRequest request, bool ok, std::uint32_t returned, void* buffer,
                              std::uint32_t size, std::uint32_t* bytesReturned) {
    SimReply reply{ok, ok ? returned : 0, static_cast<std::uint8_t*>(buffer), size};
    if (tamper) tamper(request, reply);
    if (logRequests) requests_.push_back(std::move(request));
    *bytesReturned = reply.bytesReturned;
    return reply.ok;
}

// IOCTL_USB_GET_ROOT_HUB_NAME: refused on a hub or with less room than the fixed record.
bool SimulatedUsbTree::GetRootHubName(UsbNodeHandle controller, void* output,
                                      std::uint32_t outputSize, std::uint32_t* bytesReturned) {
    const OpenedNode* opened = Find(controller);
    SimRequest request{RequestKind::RootHubName, "", 0, 0, 0, 0, outputSize};
    if (opened == nullptr || opened->controller < 0 || outputSize < sizeof(UsbRootHubName))
        return Finish(request, false, 0, output, outputSize, bytesReturned);
    request.node = "HCD" + std::to_string(opened->controller);
    std::uint32_t actualLength = 0;
    std::uint32_t returned = 0;
    WriteNameRecord(controllers_[opened->controller].rootHubName,
                    offsetof(UsbRootHubName, RootHubName), output, outputSize, &actualLength,
                    &returned);
    std::memcpy(output, &actualLength, sizeof actualLength);
    return Finish(request, true, returned, output, outputSize, bytesReturned);
}

// IOCTL_USB_GET_NODE_INFORMATION: the hub descriptor with the hub's port count.
bool SimulatedUsbTree::GetNodeInformation(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                          std::uint32_t* bytesReturned) {
    SimRequest request;
    SimHub* simHub = BeginHubRequest(hub, RequestKind::NodeInformation, size,
                                     sizeof(UsbNodeInformation), request);
    if (simHub == nullptr) return Finish(request, false, 0, buffer, size, bytesReturned);
    auto* information = static_cast<UsbNodeInformation*>(buffer);
    std::memset(information, 0, sizeof *information);
    information->NodeType = 0;
    information->HubDescriptor.bDescriptorLength = 9;
    information->HubDescriptor.bDescriptorType = kHubDescriptorType;
    information->HubDescriptor.bNumberOfPorts = static_cast<std::uint8_t>(simHub->portCount);
    information->HubIsBusPowered = 0;
    return Finish(request, true, sizeof(UsbNodeInformation), buffer, size, bytesReturned);
}

// IOCTL_USB_GET_NODE_CONNECTION_INFORMATION: refused for a port the hub does not have; an
// empty port reports NoDeviceConnected.
bool SimulatedUsbTree::GetNodeConnectionInformation(UsbNodeHandle hub, void* buffer,
                                                    std::uint32_t size,
                                                    std::uint32_t* bytesReturned) {
    SimRequest request;
    SimHub* simHub = BeginHubRequest(hub, RequestKind::ConnectionInformation, size,
                                     sizeof(UsbNodeConnectionInformation), request);
    if (simHub == nullptr) return Finish(request, false, 0, buffer, size, bytesReturned);
    auto* connection = static_cast<UsbNodeConnectionInformation*>(buffer);
    const std::uint32_t port = connection->ConnectionIndex;
    request.port = port;
    if (port == 0 || port > simHub->portCount)
        return Finish(request, false, 0, buffer, size, bytesReturned);
    std::memset(connection, 0, sizeof *connection);
    connection->ConnectionIndex = port;
    const auto device = simHub->ports.find(port);
    if (device != simHub->ports.end()) {
        const Bytes& descriptor = device->second.deviceDescriptor;
        std::memcpy(&connection->DeviceDescriptor, descriptor.data(),
                    std::min(descriptor.size(), sizeof(UsbDeviceDescriptor)));
        connection->CurrentConfigurationValue = 1;
        connection->DeviceIsHub = device->second.hubName.empty() ? 0 : 1;
        connection->DeviceAddress = static_cast<std::uint16_t>(port + 1);
        connection->ConnectionStatus = device->second.connectionStatus;
    }
    return Finish(request, true, sizeof(UsbNodeConnectionInformation), buffer, size, bytesReturned);
}

// IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION: the device answers GET_DESCRIPTOR with at
// most wLength bytes (and no more than the buffer holds); a descriptor it does not have
// stalls and the request fails.
bool SimulatedUsbTree::GetDescriptorFromNodeConnection(UsbNodeHandle hub, void* buffer,
                                                       std::uint32_t size,
                                                       std::uint32_t* bytesReturned) {
    SimRequest request;
    SimHub* simHub =
        BeginHubRequest(hub, RequestKind::Descriptor, size, sizeof(UsbDescriptorRequest), request);
    if (simHub == nullptr) return Finish(request, false, 0, buffer, size, bytesReturned);
    auto* header = static_cast<UsbDescriptorRequest*>(buffer);
    request.port = header->ConnectionIndex;
    request.wValue = header->SetupPacket.wValue;
    request.wIndex = header->SetupPacket.wIndex;
    request.wLength = header->SetupPacket.wLength;
    const auto device = simHub->ports.find(request.port);
    if (request.port == 0 || request.port > simHub->portCount || device == simHub->ports.end() ||
        device->second.connectionStatus != kDeviceConnected)
        return Finish(request, false, 0, buffer, size, bytesReturned);

    const SimDevice& simDevice = device->second;
    const std::uint8_t type = static_cast<std::uint8_t>(request.wValue >> 8);
    const std::uint8_t index = static_cast<std::uint8_t>(request.wValue & 0xFF);
    const Bytes* source = nullptr;
    if (type == kDeviceDescriptorType) {
        source = &simDevice.deviceDescriptor;
    } else if (type == kConfigurationDescriptorType && index < simDevice.configurations.size()) {
        source = &simDevice.configurations[index];
    } else if (type == kStringDescriptorType) {
        const auto found = simDevice.strings.find({index, index == 0 ? 0 : request.wIndex});
        if (found != simDevice.strings.end()) source = &found->second;
    }
    if (source == nullptr) return Finish(request, false, 0, buffer, size, bytesReturned);
    const std::size_t room = size - sizeof(UsbDescriptorRequest);
    const std::size_t count =
        std::min({static_cast<std::size_t>(request.wLength), room, source->size()});
    if (count > 0)
        std::memcpy(static_cast<std::uint8_t*>(buffer) + sizeof(UsbDescriptorRequest),
                    source->data(), count);
    return Finish(request, true, static_cast<std::uint32_t>(sizeof(UsbDescriptorRequest) + count),
                  buffer, size, bytesReturned);
}

// IOCTL_USB_GET_NODE_CONNECTION_NAME: the name of the hub on the port; an empty name for a
// port without a hub.
bool SimulatedUsbTree::GetNodeConnectionName(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                             std::uint32_t* bytesReturned) {
    SimRequest request;
    SimHub* simHub = BeginHubRequest(hub, RequestKind::ConnectionName, size,
                                     sizeof(UsbNodeConnectionName), request);
    if (simHub == nullptr) return Finish(request, false, 0, buffer, size, bytesReturned);
    auto* name = static_cast<UsbNodeConnectionName*>(buffer);
    request.port = name->ConnectionIndex;
    if (request.port == 0 || request.port > simHub->portCount)
        return Finish(request, false, 0, buffer, size, bytesReturned);
    const auto device = simHub->ports.find(request.port);
    const std::string hubName = device != simHub->ports.end() ? device->second.hubName : "";
    std::uint32_t actualLength = 0;
    std::uint32_t returned = 0;
    WriteNameRecord(hubName, offsetof(UsbNodeConnectionName, NodeName), buffer, size, &actualLength,
                    &returned);
    name->ActualLength = actualLength;
    return Finish(request, true, returned, buffer, size, bytesReturned);
}

void* SimulatedUsbTree::AllocateRecord(std::size_t size) {
    ++allocationCount_;
    if (failAllocation && failAllocation(size)) return nullptr;
    void* record = std::calloc(1, size);
    if (record == nullptr) return nullptr;
    liveRecords_[record] = size;
    liveRecordBytes_ += size;
    peakRecordBytes_ = std::max(peakRecordBytes_, liveRecordBytes_);
    return record;
}

void SimulatedUsbTree::ReleaseRecord(void* record) {
    const auto found = liveRecords_.find(record);
    if (found == liveRecords_.end()) {
        ++misuses_;
        return;
    }
    liveRecordBytes_ -= found->second;
    liveRecords_.erase(found);
    std::free(record);
}

}  // namespace upgrade::sim
