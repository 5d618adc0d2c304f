// Linux back end of the USB driver requests: sysfs for the tree and the descriptors, usbfs
// control transfers (or the kernel's cached texts) for the string descriptors. See
// UsbHostSysfs.h for how the Windows names map onto sysfs.
#include "upgrade/enum/UsbHostSysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "upgrade/enum/DescriptorScan.h"
#include "upgrade/enum/NameRecord.h"
#include "upgrade/enum/UsbRecords.h"

namespace upgrade {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kDevicePathPrefix[] = "\\\\.\\";
constexpr std::uint16_t kFallbackLanguage = 0x0409;
constexpr unsigned kControlTimeoutMs = 1000;

struct SysfsNode {
    std::string device;  // sysfs device name of the hub
    bool controller;
};

SysfsNode* AsNode(UsbNodeHandle handle) {
    return static_cast<SysfsNode*>(handle);
}

bool AllDigits(const std::string& text, std::size_t from) {
    return from < text.size() && std::all_of(text.begin() + from, text.end(),
                                             [](char c) { return c >= '0' && c <= '9'; });
}

// "usb<bus>" or "<bus>-<port>[.<port>...]": the only names a hub can have, so no path
// outside the devices directory can be named.
bool IsDeviceName(const std::string& name) {
    if (name.compare(0, 3, "usb") == 0) return AllDigits(name, 3);
    bool digitBefore = false;
    bool dashSeen = false;
    for (const char c : name) {
        if (c >= '0' && c <= '9') {
            digitBefore = true;
        } else if ((c == '-' && !dashSeen) || (c == '.' && dashSeen)) {
            if (!digitBefore) return false;
            dashSeen = dashSeen || c == '-';
            digitBefore = false;
        } else {
            return false;
        }
    }
    return dashSeen && digitBefore;
}

std::optional<Bytes> ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A text attribute without its line end.
std::optional<std::string> ReadAttribute(const std::string& path) {
    const std::optional<Bytes> bytes = ReadFile(path);
    if (!bytes) return std::nullopt;
    std::string text(bytes->begin(), bytes->end());
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

long ReadNumber(const std::string& path, long fallback) {
    const std::optional<std::string> text = ReadAttribute(path);
    if (!text || text->empty()) return fallback;
    char* end = nullptr;
    const long value = std::strtol(text->c_str(), &end, 10);
    return end != text->c_str() ? value : fallback;
}

// The device directory's "descriptors": device descriptor, then the configuration sets.
struct DeviceFiles {
    Bytes descriptors;

    bool Valid() const {
        return descriptors.size() >= sizeof(UsbDeviceDescriptor) &&
               descriptors[1] == kDeviceDescriptorType;
    }
    const std::uint8_t* Device() const { return descriptors.data(); }

    // The set of configuration `index`, cut to the bytes present.
    std::optional<std::pair<const std::uint8_t*, std::size_t>> Configuration(
        std::size_t index) const {
        std::size_t offset = sizeof(UsbDeviceDescriptor);
        for (std::size_t i = 0; offset + 4 <= descriptors.size(); ++i) {
            const std::size_t length = std::min<std::size_t>(ReadLe16(&descriptors[offset + 2]),
                                                             descriptors.size() - offset);
            if (length == 0) break;
            if (i == index) return std::make_pair(&descriptors[offset], length);
            offset += length;
        }
        return std::nullopt;
    }
};

// UTF-8 from the kernel's string attributes to a string descriptor (at most 126 UTF-16
// units, never splitting a surrogate pair); malformed bytes become U+FFFD.
Bytes StringDescriptorFromUtf8(const std::string& text) {
    std::vector<std::uint16_t> units;
    constexpr std::size_t kMaxUnits = (kMaxStringDescriptorLength - 2) / 2;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = lead < 0x80    ? 1
                             : lead >= 0xF0 ? 4
                             : lead >= 0xE0 ? 3
                             : lead >= 0xC0 ? 2
                                            : 0;
        char32_t codePoint = 0xFFFD;
        if (length == 1) {
            codePoint = lead;
        } else if (length > 1 && at + length <= text.size()) {
            codePoint = lead & (0x7F >> length);
            for (std::size_t i = 1; i < length; ++i) {
                const auto next = static_cast<unsigned char>(text[at + i]);
                if ((next & 0xC0) != 0x80) {
                    codePoint = 0xFFFD;
                    length = i;
                    break;
                }
                codePoint = (codePoint << 6) | (next & 0x3F);
            }
        } else {
            length = 1;
        }
        at += length;
        if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            codePoint = 0xFFFD;
        if (codePoint >= 0x10000) {
            if (units.size() + 2 > kMaxUnits) break;
            codePoint -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (codePoint >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            if (units.size() + 1 > kMaxUnits) break;
            units.push_back(static_cast<std::uint16_t>(codePoint));
        }
    }
    Bytes descriptor{static_cast<std::uint8_t>(2 + 2 * units.size()), kStringDescriptorType};
    for (const std::uint16_t unit : units) {
        descriptor.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        descriptor.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return descriptor;
}

class DeviceDirectory {
  public:
    DeviceDirectory(const std::string& devicesDirectory, std::string name)
        : name_(std::move(name)), path_(devicesDirectory + "/" + name_) {}

    const std::string& Name() const { return name_; }
    const std::string& Path() const { return path_; }
    std::string Attribute(const char* attribute) const { return path_ + "/" + attribute; }
    DeviceFiles Files() const {
        return DeviceFiles{ReadFile(Attribute("descriptors")).value_or(Bytes{})};
    }

    // The device on `port` of this hub.
    DeviceDirectory Child(const std::string& devicesDirectory, unsigned port) const {
        const std::string child = name_.compare(0, 3, "usb") == 0
                                      ? name_.substr(3) + "-" + std::to_string(port)
                                      : name_ + "." + std::to_string(port);
        return DeviceDirectory(devicesDirectory, child);
    }

  private:
    std::string name_;
    std::string path_;
};

// Root hub names in bus-number order.
std::vector<std::string> RootHubNames(const std::string& devicesDirectory) {
    std::vector<std::pair<long, std::string>> roots;
    if (DIR* directory = opendir(devicesDirectory.c_str())) {
        while (const dirent* entry = readdir(directory)) {
            const std::string name = entry->d_name;
            if (name.compare(0, 3, "usb") == 0 && AllDigits(name, 3))
                roots.emplace_back(std::strtol(name.c_str() + 3, nullptr, 10), name);
        }
        closedir(directory);
    }
    std::sort(roots.begin(), roots.end());
    std::vector<std::string> names;
    for (auto& root : roots) names.push_back(std::move(root.second));
    return names;
}

enum class UsbfsResult { Answered, Failed, Unavailable };

// GET_DESCRIPTOR(string) as a control transfer on the device's usbfs node.
UsbfsResult ReadStringThroughUsbfs(const std::string& usbfsDirectory, const DeviceDirectory& device,
                                   std::uint16_t value, std::uint16_t language,
                                   std::uint16_t length, Bytes* descriptor) {
    const long bus = ReadNumber(device.Attribute("busnum"), -1);
    const long address = ReadNumber(device.Attribute("devnum"), -1);
    if (bus < 0 || address < 0) return UsbfsResult::Unavailable;
    char node[64];
    std::snprintf(node, sizeof node, "/%03ld/%03ld", bus, address);
    const std::string path = usbfsDirectory + node;
    // usbfs refuses every request on a node opened for reading only (EPERM), and the nodes
    // are commonly readable but not writable by ordinary users: a node that does not open for
    // writing is as good as none, and the kernel's cached texts take its place.
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return UsbfsResult::Unavailable;
    descriptor->assign(length, 0);
    usbdevfs_ctrltransfer transfer{};
    transfer.bRequestType = 0x80;  // device to host, standard, device
    transfer.bRequest = 6;         // GET_DESCRIPTOR
    transfer.wValue = value;
    transfer.wIndex = language;
    transfer.wLength = length;
    transfer.timeout = kControlTimeoutMs;
    transfer.data = descriptor->data();
    const int transferred = ioctl(fd, USBDEVFS_CONTROL, &transfer);
    close(fd);
    if (transferred < 0) return UsbfsResult::Failed;
    descriptor->resize(static_cast<std::size_t>(transferred));
    return UsbfsResult::Answered;
}

// The attribute file in which the kernel keeps the text of string `index`, if it keeps one.
std::optional<std::string> CachedStringAttribute(const DeviceDirectory& device,
                                                 const DeviceFiles& files, std::uint8_t index) {
    const auto* descriptor = reinterpret_cast<const UsbDeviceDescriptor*>(files.Device());
    if (descriptor->iManufacturer == index) return device.Attribute("manufacturer");
    if (descriptor->iProduct == index) return device.Attribute("product");
    if (descriptor->iSerialNumber == index) return device.Attribute("serial");
    // Configuration and interface texts are kept for the active configuration only, so they
    // stand for configuration 0 only when that one is active.
    const auto configuration = files.Configuration(0);
    if (!configuration || configuration->second < kConfigurationDescriptorLength ||
        configuration->first[1] != kConfigurationDescriptorType)
        return std::nullopt;
    const std::uint8_t* set = configuration->first;
    const long active = ReadNumber(device.Attribute("bConfigurationValue"), -1);
    if (set[5] != active) return std::nullopt;
    if (set[kConfigurationStringIndexOffset] == index) return device.Attribute("configuration");
    DescriptorScan scan(set, configuration->second);
    const std::uint8_t* interface = nullptr;
    while (scan.Next(&interface)) {
        if (interface[1] != kInterfaceDescriptorType || interface[0] < 9 ||
            interface[kInterfaceStringIndexOffset] != index)
            continue;
        // "<device>:<configuration>.<interface>" shows its current alternate setting only.
        const std::string directory =
            device.Path() + ":" + std::to_string(active) + "." + std::to_string(interface[2]);
        if (ReadNumber(directory + "/bAlternateSetting", -1) == interface[3])
            return directory + "/interface";
    }
    return std::nullopt;
}

// String descriptor `index` made from the kernel's cached texts; string 0 lists the one
// language those texts are in.
std::optional<Bytes> ReadStringFromAttributes(const DeviceDirectory& device, std::uint8_t index) {
    if (index == 0)
        return Bytes{4, kStringDescriptorType, kFallbackLanguage & 0xFF, kFallbackLanguage >> 8};
    const DeviceFiles files = device.Files();
    if (!files.Valid()) return std::nullopt;
    const std::optional<std::string> attribute = CachedStringAttribute(device, files, index);
    if (!attribute) return std::nullopt;
    const std::optional<std::string> text = ReadAttribute(*attribute);
    if (!text || text->empty()) return std::nullopt;
    return StringDescriptorFromUtf8(*text);
}

}  // namespace

SysfsUsbHost::SysfsUsbHost(std::string devicesDirectory, std::string usbfsDirectory)
    : devicesDirectory_(std::move(devicesDirectory)), usbfsDirectory_(std::move(usbfsDirectory)) {}

// "\\.\HCD<n>": the n-th root hub; "\\.\<name>": a hub device of that sysfs name.
UsbNodeHandle SysfsUsbHost::OpenNode(const char* devicePath) {
    const std::string path(devicePath);
    const std::size_t prefixLength = sizeof kDevicePathPrefix - 1;
    if (path.compare(0, prefixLength, kDevicePathPrefix) != 0) return nullptr;
    const std::string name = path.substr(prefixLength);
    if (name.compare(0, 3, "HCD") == 0 && AllDigits(name, 3) && name.size() <= 6) {
        const std::vector<std::string> roots = RootHubNames(devicesDirectory_);
        const auto number = static_cast<std::size_t>(std::strtol(name.c_str() + 3, nullptr, 10));
        if (number >= roots.size()) return nullptr;
        return new SysfsNode{roots[number], true};
    }
    if (!IsDeviceName(name)) return nullptr;
    const DeviceFiles files = DeviceDirectory(devicesDirectory_, name).Files();
    if (!files.Valid() || files.Device()[4] != kHubDeviceClass) return nullptr;
    return new SysfsNode{name, false};
}

void SysfsUsbHost::CloseNode(UsbNodeHandle node) {
    delete AsNode(node);
}

// The root hub of a controller is named by its sysfs name.
bool SysfsUsbHost::GetRootHubName(UsbNodeHandle controller, void* output, std::uint32_t outputSize,
                                  std::uint32_t* bytesReturned) {
    *bytesReturned = 0;
    if (!AsNode(controller)->controller || outputSize < sizeof(UsbRootHubName)) return false;
    std::uint32_t actualLength = 0;
    WriteNameRecord(AsNode(controller)->device, offsetof(UsbRootHubName, RootHubName), output,
                    outputSize, &actualLength, bytesReturned);
    static_cast<UsbRootHubName*>(output)->ActualLength = actualLength;
    return true;
}

// The hub descriptor's port count is the hub's "maxchild".
bool SysfsUsbHost::GetNodeInformation(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                      std::uint32_t* bytesReturned) {
    *bytesReturned = 0;
    if (AsNode(hub)->controller || size < sizeof(UsbNodeInformation)) return false;
    const DeviceDirectory directory(devicesDirectory_, AsNode(hub)->device);
    const long ports = ReadNumber(directory.Attribute("maxchild"), -1);
    if (ports < 0) return false;
    auto* information = static_cast<UsbNodeInformation*>(buffer);
    std::memset(information, 0, sizeof *information);
    information->HubDescriptor.bDescriptorLength = 9;
    information->HubDescriptor.bDescriptorType = kHubDescriptorType;
    information->HubDescriptor.bNumberOfPorts = static_cast<std::uint8_t>(std::min(ports, 255L));
    *bytesReturned = sizeof(UsbNodeInformation);
    return true;
}

// A port is connected when the child's device directory exists with its descriptors.
bool SysfsUsbHost::GetNodeConnectionInformation(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                                std::uint32_t* bytesReturned) {
    *bytesReturned = 0;
    if (AsNode(hub)->controller || size < sizeof(UsbNodeConnectionInformation)) return false;
    auto* connection = static_cast<UsbNodeConnectionInformation*>(buffer);
    const std::uint32_t port = connection->ConnectionIndex;
    const DeviceDirectory directory(devicesDirectory_, AsNode(hub)->device);
    if (port == 0 ||
        port > static_cast<std::uint32_t>(ReadNumber(directory.Attribute("maxchild"), 0)))
        return false;
    std::memset(connection, 0, sizeof *connection);
    connection->ConnectionIndex = port;
    const DeviceDirectory child = directory.Child(devicesDirectory_, port);
    const DeviceFiles files = child.Files();
    if (files.Valid()) {
        std::memcpy(&connection->DeviceDescriptor, files.Device(), sizeof(UsbDeviceDescriptor));
        connection->CurrentConfigurationValue =
            static_cast<std::uint8_t>(ReadNumber(child.Attribute("bConfigurationValue"), 0));
        connection->LowSpeed = ReadAttribute(child.Attribute("speed")).value_or("") == "1.5";
        connection->DeviceIsHub = files.Device()[4] == kHubDeviceClass;
        connection->DeviceAddress =
            static_cast<std::uint16_t>(ReadNumber(child.Attribute("devnum"), 0));
        connection->ConnectionStatus = kDeviceConnected;
    }
    *bytesReturned = sizeof(UsbNodeConnectionInformation);
    return true;
}

// Device and configuration descriptors from "descriptors"; strings through usbfs, or from the
// cached texts. At most wLength bytes come back, as from the device itself.
bool SysfsUsbHost::GetDescriptorFromNodeConnection(UsbNodeHandle hub, void* buffer,
                                                   std::uint32_t size,
                                                   std::uint32_t* bytesReturned) {
    *bytesReturned = 0;
    if (AsNode(hub)->controller || size < sizeof(UsbDescriptorRequest)) return false;
    auto* header = static_cast<UsbDescriptorRequest*>(buffer);
    const DeviceDirectory child = DeviceDirectory(devicesDirectory_, AsNode(hub)->device)
                                      .Child(devicesDirectory_, header->ConnectionIndex);
    const DeviceFiles files = child.Files();
    if (header->ConnectionIndex == 0 || !files.Valid()) return false;

    const std::uint16_t value = header->SetupPacket.wValue;
    const auto type = static_cast<std::uint8_t>(value >> 8);
    const auto index = static_cast<std::uint8_t>(value & 0xFF);
    const std::uint16_t wanted = static_cast<std::uint16_t>(
        std::min<std::uint32_t>(header->SetupPacket.wLength, size - sizeof(UsbDescriptorRequest)));
    Bytes descriptor;
    if (type == kDeviceDescriptorType) {
        descriptor.assign(files.Device(), files.Device() + sizeof(UsbDeviceDescriptor));
    } else if (type == kConfigurationDescriptorType) {
        const auto configuration = files.Configuration(index);
        if (!configuration) return false;
        descriptor.assign(configuration->first, configuration->first + configuration->second);
    } else if (type == kStringDescriptorType) {
        const UsbfsResult result = ReadStringThroughUsbfs(
            usbfsDirectory_, child, value, header->SetupPacket.wIndex, wanted, &descriptor);
        if (result == UsbfsResult::Failed) return false;
        if (result == UsbfsResult::Unavailable) {
            std::optional<Bytes> cached = ReadStringFromAttributes(child, index);
            if (!cached) return false;
            descriptor = std::move(*cached);
        }
    } else {
        return false;
    }
    const std::size_t count = std::min<std::size_t>(wanted, descriptor.size());
    if (count > 0)
        std::memcpy(static_cast<std::uint8_t*>(buffer) + sizeof(UsbDescriptorRequest),
                    descriptor.data(), count);
    *bytesReturned = static_cast<std::uint32_t>(sizeof(UsbDescriptorRequest) + count);
    return true;
}

// The name of a hub on a port is its sysfs device name; empty for anything else.
bool SysfsUsbHost::GetNodeConnectionName(UsbNodeHandle hub, void* buffer, std::uint32_t size,
                                         std::uint32_t* bytesReturned) {
    *bytesReturned = 0;
    if (AsNode(hub)->controller || size < sizeof(UsbNodeConnectionName)) return false;
    auto* record = static_cast<UsbNodeConnectionName*>(buffer);
    if (record->ConnectionIndex == 0) return false;
    const DeviceDirectory child = DeviceDirectory(devicesDirectory_, AsNode(hub)->device)
                                      .Child(devicesDirectory_, record->ConnectionIndex);
    const DeviceFiles files = child.Files();
    const bool isHub = files.Valid() && files.Device()[4] == kHubDeviceClass;
    std::uint32_t actualLength = 0;
    WriteNameRecord(isHub ? child.Name() : std::string(), offsetof(UsbNodeConnectionName, NodeName),
                    buffer, size, &actualLength, bytesReturned);
    record->ActualLength = actualLength;
    return true;
}

UsbHostDriver& PlatformUsbHostDriver() {
    static SysfsUsbHost host;
    return host;
}

}  // namespace upgrade
