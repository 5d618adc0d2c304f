// The model's device tree: what the USB hub driver and Plug and Play make of a device that
// arrives on a port (its nodes, IDs and drivers), and the test's controls over the machine.
#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "WinUsbModel.h"

namespace winusbmodel {
namespace {

// {F18A0E88-C30C-11D0-8815-00A0C906BED8}: GUID_DEVINTERFACE_USB_HUB.
const wchar_t kHubInterface[] = L"{f18a0e88-c30c-11d0-8815-00a0c906bed8}";
const wchar_t kPciController[] = L"PCI\\VEN_8086&DEV_A36D&SUBSYS_00000000&REV_10\\3&11583659&0&A0";
const std::uint8_t kMsOs20Uuid[16] = {0xDF, 0x60, 0xDD, 0xD8, 0x89, 0x45, 0xC7, 0x4C,
                                      0x9C, 0xD2, 0x65, 0x9D, 0x9E, 0x64, 0x8A, 0x9F};
constexpr DEVINST kPciDevinst = 1;

std::wstring Hex(unsigned value, int digits) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%0*X", digits, value);
    return text;
}

// A stable stand-in for the hash Windows puts into the instance IDs it makes up.
std::wstring HashOf(const std::wstring& text) {
    std::uint32_t h = 2166136261u;
    for (wchar_t c : text) h = (h ^ static_cast<std::uint32_t>(std::towupper(c))) * 16777619u;
    return Hex(h, 8);
}

std::wstring FromUtf16(const std::uint8_t* p, std::size_t bytes) {
    std::wstring out;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const wchar_t c = static_cast<wchar_t>(p[i] | (p[i + 1] << 8));
        if (c == L'\0') break;
        out.push_back(c);
    }
    return out;
}

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// The class IDs of "Standard USB identifiers": USB\Class_cc&SubClass_ss&Prot_pp and shorter.
std::vector<std::wstring> ClassIds(unsigned cls, unsigned sub, unsigned protocol) {
    const std::wstring c = L"USB\\Class_" + Hex(cls, 2);
    const std::wstring s = c + L"&SubClass_" + Hex(sub, 2);
    return {s + L"&Prot_" + Hex(protocol, 2), s, c};
}

struct ConfigInterface {
    std::uint8_t number;
    std::uint8_t cls, sub, protocol;
};

struct Association {
    std::uint8_t first, count, cls, sub, protocol;
};

struct ParsedConfig {
    std::vector<ConfigInterface> interfaces;  // alternate setting 0, in order
    std::vector<Association> associations;
};

ParsedConfig Parse(const std::vector<std::uint8_t>& config) {
    ParsedConfig out;
    const std::size_t total =
        config.size() >= 4 ? std::min<std::size_t>(config.size(), Le16(&config[2])) : 0;
    for (std::size_t at = 0; at + 2 <= total && config[at] >= 2 && at + config[at] <= total;
         at += config[at]) {
        const std::uint8_t* d = &config[at];
        if (d[1] == 0x04 && d[0] >= 9 && d[3] == 0) {
            out.interfaces.push_back({d[2], d[5], d[6], d[7]});
        } else if (d[1] == 0x0B && d[0] >= 8) {
            out.associations.push_back({d[2], d[3], d[4], d[5], d[6]});
        }
    }
    return out;
}

// What a device's MS OS 2.0 descriptor set asks for (Microsoft's page on MS OS 2.0
// descriptors): a compatible ID and registry properties, for the device or per function.
struct MsOsFeatures {
    bool winusb = false;
    std::vector<std::wstring> guids;
};

struct MsOsSet {
    MsOsFeatures device;
    std::map<std::uint8_t, MsOsFeatures> functions;
};

MsOsSet ParseMsOs20(const std::vector<std::uint8_t>& set) {
    MsOsSet out;
    MsOsFeatures* current = &out.device;
    for (std::size_t at = 0; at + 4 <= set.size();) {
        const std::uint16_t length = Le16(&set[at]);
        const std::uint16_t type = Le16(&set[at + 2]);
        if (length < 4 || at + length > set.size()) break;
        const std::uint8_t* d = &set[at];
        if (type == 0x02 && length >= 8) {
            current = &out.functions[d[4]];  // function subset: bFirstInterface
        } else if (type == 0x03 && length >= 20) {
            current->winusb =
                std::string(reinterpret_cast<const char*>(d + 4), 6) == "WINUSB" && d[10] == 0;
        } else if (type == 0x04 && length >= 10) {
            const std::uint16_t nameLength = Le16(d + 6);
            if (8u + nameLength + 2u <= length) {
                const std::wstring name = FromUtf16(d + 8, nameLength);
                const std::uint16_t dataLength = Le16(d + 8 + nameLength);
                const std::uint8_t* data = d + 10 + nameLength;
                if (10u + nameLength + dataLength <= length &&
                    (name == L"DeviceInterfaceGUIDs" || name == L"DeviceInterfaceGUID")) {
                    // REG_MULTI_SZ or REG_SZ: the strings one after the other.
                    for (std::size_t i = 0; i + 1 < dataLength;) {
                        const std::wstring text = FromUtf16(data + i, dataLength - i);
                        if (text.empty()) break;
                        current->guids.push_back(text);
                        i += (text.size() + 1) * 2;
                    }
                }
            }
        }
        at += length;
    }
    return out;
}

}  // namespace

std::wstring InterfacePath(const std::wstring& instanceId, const std::wstring& guid) {
    std::wstring path = L"\\\\?\\";
    for (wchar_t c : instanceId) path.push_back(c == L'\\' ? L'#' : c);
    path += L"#" + guid;
    for (auto& c : path) c = static_cast<wchar_t>(std::towlower(c));
    return path;
}

WindowsModel::WindowsModel(Options options) : options_(options), goneError_(ERROR_GEN_FAILURE) {
    std::lock_guard<std::mutex> lock(mutex_);
    Node pci;
    pci.devinst = kPciDevinst;
    pci.instanceId = kPciController;
    pci.service = L"USBXHCI";
    nodes_[kPciDevinst] = pci;
    hubs_.push_back(Hub{});
    AddHubNodeLocked(kRootHub);
}

WindowsModel::~WindowsModel() = default;

std::wstring WindowsModel::HubInstanceIdLocked(int number) {
    if (number == kRootHub) return L"USB\\ROOT_HUB30\\4&1A2B3C4D&0&0";
    const Hub& hub = hubs_[static_cast<std::size_t>(number)];
    return L"USB\\VID_2109&PID_2817\\6&" + HashOf(HubInstanceIdLocked(hub.parentHub)) + L"&0&" +
           std::to_wstring(hub.port);
}

void WindowsModel::AddHubNodeLocked(int number) {
    Hub& hub = hubs_[static_cast<std::size_t>(number)];
    Node node;
    node.instanceId = HubInstanceIdLocked(number);
    node.service = L"USBHUB3";
    node.hub = number;
    node.parent =
        number == kRootHub ? kPciDevinst : hubs_[static_cast<std::size_t>(hub.parentHub)].devinst;
    node.address = static_cast<DWORD>(hub.port);
    // A hub registers GUID_DEVINTERFACE_USB_HUB, which hub requests are sent to
    // (IOCTL_USB_HUB_CYCLE_PORT page: "This request targets the USB hub device").
    node.deviceInterfaces.push_back({kHubInterface, InterfacePath(node.instanceId, kHubInterface)});
    hub.devinst = AddNodeLocked(node);
}

int WindowsModel::AddHub(int parentHub, int port) {
    std::lock_guard<std::mutex> lock(mutex_);
    Hub hub;
    hub.parentHub = parentHub;
    hub.port = port;
    hubs_.push_back(hub);
    const int number = static_cast<int>(hubs_.size()) - 1;
    AddHubNodeLocked(number);
    return number;
}

void WindowsModel::Plug(qvdfu::DfuDevice& device, int hub, int port) {
    std::lock_guard<std::mutex> lock(mutex_);
    Plugging p;
    p.device = &device;
    p.hub = hub;
    p.port = port;
    pluggings_.push_back(p);
    RefreshLocked();
}

void WindowsModel::Unplug(qvdfu::DfuDevice& device) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int i = PluggingOf(device);
    if (i < 0) return;
    RemoveNodesLocked(i);
    pluggings_[static_cast<std::size_t>(i)].device = nullptr;
    pluggings_[static_cast<std::size_t>(i)].present = false;
}

void WindowsModel::MoveOnNextEnumeration(qvdfu::DfuDevice& device, int hub, int port) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int i = PluggingOf(device);
    if (i < 0) return;
    pluggings_[static_cast<std::size_t>(i)].nextHub = hub;
    pluggings_[static_cast<std::size_t>(i)].nextPort = port;
}

void WindowsModel::InstallWinUsbPackage(std::uint16_t vendor, std::uint16_t product, int function,
                                        const std::string& guid) {
    std::lock_guard<std::mutex> lock(mutex_);
    packages_.push_back({vendor, product, function, std::wstring(guid.begin(), guid.end())});
}

void WindowsModel::HangAfter(qvdfu::DfuDevice& device, unsigned answered) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int i = PluggingOf(device);
    if (i >= 0) pluggings_[static_cast<std::size_t>(i)].answersLeft = answered;
}

void WindowsModel::HoldByAnotherProgram(qvdfu::DfuDevice& device, bool held) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int i = PluggingOf(device);
    if (i >= 0) pluggings_[static_cast<std::size_t>(i)].heldElsewhere = held;
}

void WindowsModel::SetGoneError(DWORD error) {
    std::lock_guard<std::mutex> lock(mutex_);
    goneError_ = error;
}

void WindowsModel::SetAdministrator(bool administrator) {
    std::lock_guard<std::mutex> lock(mutex_);
    options_.administrator = administrator;
}

int WindowsModel::PluggingOf(qvdfu::DfuDevice& device) {
    for (std::size_t i = 0; i < pluggings_.size(); ++i) {
        if (pluggings_[i].device == &device) return static_cast<int>(i);
    }
    return -1;
}

int WindowsModel::PluggingAtLocked(int hub, int port) {
    for (std::size_t i = 0; i < pluggings_.size(); ++i) {
        const Plugging& p = pluggings_[i];
        if (p.device != nullptr && p.present && p.hub == hub && p.port == port) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

DEVINST WindowsModel::AddNodeLocked(Node node) {
    node.devinst = nextDevinst_++;
    const DEVINST devinst = node.devinst;
    nodes_[devinst] = std::move(node);
    return devinst;
}

WindowsModel::Node* WindowsModel::NodeLocked(DEVINST devinst) {
    auto it = nodes_.find(devinst);
    return it == nodes_.end() ? nullptr : &it->second;
}

WindowsModel::Node* WindowsModel::NodeByIdLocked(const std::wstring& instanceId) {
    std::wstring wanted = instanceId;
    for (auto& c : wanted) c = static_cast<wchar_t>(std::towupper(c));
    for (auto& entry : nodes_) {
        std::wstring id = entry.second.instanceId;
        for (auto& c : id) c = static_cast<wchar_t>(std::towupper(c));
        if (id == wanted) return &entry.second;
    }
    return nullptr;
}

void WindowsModel::RemoveNodesLocked(int plugging) {
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        if (it->second.plugged == plugging) {
            it = nodes_.erase(it);
        } else {
            ++it;
        }
    }
}

qvdfu::Transfer WindowsModel::DeviceRequestLocked(int plugging, const qvdfu::Setup& setup,
                                                  std::uint8_t* data, std::size_t& transferred) {
    Plugging& p = pluggings_[static_cast<std::size_t>(plugging)];
    transferred = 0;
    if (p.device == nullptr) return qvdfu::Transfer::gone;
    return p.device->Control(setup, data, transferred);
}

bool WindowsModel::ReadDescriptorLocked(int plugging, std::uint8_t type, std::uint8_t index,
                                        std::uint16_t language, std::size_t length,
                                        std::vector<std::uint8_t>& out) {
    qvdfu::Setup setup;
    setup.requestType = 0x80;
    setup.request = 0x06;
    setup.value = static_cast<std::uint16_t>((type << 8) | index);
    setup.index = language;
    setup.length = static_cast<std::uint16_t>(length);
    out.assign(length, 0);
    std::size_t got = 0;
    if (DeviceRequestLocked(plugging, setup, out.data(), got) != qvdfu::Transfer::ok) return false;
    out.resize(got);
    return true;
}

// A device that answers on its port is enumerated again whenever it has left the bus since
// (its enumeration count moved): its old nodes go, and handles on them with them.
void WindowsModel::RefreshLocked() {
    for (std::size_t i = 0; i < pluggings_.size(); ++i) {
        Plugging& p = pluggings_[i];
        if (p.device == nullptr || p.disabled) continue;
        std::vector<std::uint8_t> probe;
        const bool answers = ReadDescriptorLocked(static_cast<int>(i), 0x01, 0, 0, 18, probe);
        const unsigned long count = p.device->EnumerationCount();
        if (!answers) {
            if (p.present) RemoveNodesLocked(static_cast<int>(i));
            p.present = false;
            continue;
        }
        if (p.present && count == p.seenEnumeration) continue;
        RemoveNodesLocked(static_cast<int>(i));
        if (p.generation > 0 && p.nextHub >= 0) {
            p.hub = p.nextHub;
            p.port = p.nextPort;
            p.nextHub = -1;
        }
        p.present = true;
        p.seenEnumeration = count;
        ++p.generation;
        EnumerateLocked(static_cast<int>(i));
    }
}

// What the hub driver and Plug and Play make of a device on a port:
// - IDs as "Standard USB identifiers" gives them: device ID USB\VID_v&PID_p, compatible IDs
//   from the device descriptor's class, and per interface of a composite device
//   USB\VID_v&PID_p&MI_nn with the interface's class;
// - the instance ID's last part is the device's serial number, or else, for a device without
//   one, an ID made unique on its bus from the hub and port ("Instance IDs"): a device without a
//   serial number that comes back on another port is another instance, with another path;
// - a device is composite when it has one configuration, several interfaces and device class 0
//   (or the interface association class EF/02/01), and the generic parent driver (usbccgp) gives
//   each function a node ("USB Generic Parent Driver (Usbccgp.sys)"; an interface association
//   makes one function of its interfaces, "Enumeration of interface collections");
// - drivers: a driver package matching the hardware ID comes first; else a composite device
//   gets usbccgp; else WinUSB where the MS OS 2.0 descriptor set names the WINUSB compatible ID
//   for the device or the function (read from a device with bcdUSB 0x0201 or above, on
//   Windows 8.1 and later: Microsoft's MS OS 2.0 descriptors page, "WinUSB Device");
//   else the class driver of a serial function (usbser); else none: the node is listed with no
//   service ("Standard USB identifiers": no match, no driver);
// - a WinUSB node keeps its DeviceInterfaceGUIDs in its Device Parameters key and WinUSB
//   registers a device interface of each ("WinUSB (Winusb.sys) installation").
void WindowsModel::EnumerateLocked(int plugging) {
    Plugging& p = pluggings_[static_cast<std::size_t>(plugging)];
    std::vector<std::uint8_t> device;
    if (!ReadDescriptorLocked(plugging, 0x01, 0, 0, 18, device) || device.size() < 18) return;
    std::vector<std::uint8_t> head;
    p.configuration.clear();
    if (ReadDescriptorLocked(plugging, 0x02, 0, 0, 9, head) && head.size() >= 9) {
        ReadDescriptorLocked(plugging, 0x02, 0, 0, Le16(&head[2]), p.configuration);
    }
    const unsigned vendor = Le16(&device[8]);
    const unsigned product = Le16(&device[10]);
    const unsigned release = Le16(&device[12]);
    std::wstring serial;
    if (device[16] != 0) {
        std::vector<std::uint8_t> text;
        if (ReadDescriptorLocked(plugging, 0x03, device[16], 0x0409, 255, text) &&
            text.size() > 2) {
            serial = FromUtf16(text.data() + 2, text.size() - 2);
        }
    }
    MsOsSet msos;
    if (Le16(&device[2]) >= 0x0201 && options_.windows8OrLater) {
        std::vector<std::uint8_t> bos;
        if (ReadDescriptorLocked(plugging, 0x0F, 0, 0, 5, head) && head.size() >= 5 &&
            ReadDescriptorLocked(plugging, 0x0F, 0, 0, Le16(&head[2]), bos)) {
            for (std::size_t at = 5; at + 3 <= bos.size() && bos[at] >= 3; at += bos[at]) {
                const std::uint8_t* cap = &bos[at];
                if (cap[1] != 0x10 || cap[2] != 0x05 || cap[0] < 28 || at + 28 > bos.size() ||
                    !std::equal(cap + 4, cap + 20, kMsOs20Uuid)) {
                    continue;
                }
                qvdfu::Setup setup;
                setup.requestType = 0xC0;
                setup.request = cap[26];
                setup.index = 0x07;  // MS_OS_20_DESCRIPTOR_INDEX
                setup.length = Le16(cap + 24);
                std::vector<std::uint8_t> set(setup.length);
                std::size_t got = 0;
                if (DeviceRequestLocked(plugging, setup, set.data(), got) == qvdfu::Transfer::ok) {
                    set.resize(got);
                    msos = ParseMsOs20(set);
                }
                break;
            }
        }
    }

    const std::wstring ids = L"USB\\VID_" + Hex(vendor, 4) + L"&PID_" + Hex(product, 4);
    const Hub& hub = hubs_[static_cast<std::size_t>(p.hub)];
    const std::wstring unique = !serial.empty() ? serial
                                                : L"5&" + HashOf(HubInstanceIdLocked(p.hub)) +
                                                      L"&0&" + std::to_wstring(p.port);
    const ParsedConfig config = Parse(p.configuration);
    const bool composite =
        device[17] == 1 && config.interfaces.size() > 1 &&
        (device[4] == 0x00 || (device[4] == 0xEF && device[5] == 0x02 && device[6] == 0x01));
    const auto package = [&](int function) -> const Package* {
        for (const auto& pkg : packages_) {
            if (pkg.vendor == vendor && pkg.product == product && pkg.function == function) {
                return &pkg;
            }
        }
        return nullptr;
    };
    const auto allInterfaces = [&] {
        std::vector<std::uint8_t> out;
        for (const auto& i : config.interfaces) out.push_back(i.number);
        return out;
    };
    const auto registerWinUsb = [](Node& node, const std::vector<std::wstring>& guids) {
        node.service = L"WinUSB";
        node.interfaceGuids = guids;
        for (const auto& guid : guids) {
            std::wstring lower = guid;
            for (auto& c : lower) c = static_cast<wchar_t>(std::towlower(c));
            node.deviceInterfaces.push_back({lower, InterfacePath(node.instanceId, lower)});
        }
    };

    Node node;
    node.instanceId = ids + L"\\" + unique;
    node.hardwareIds = {ids + L"&REV_" + Hex(release, 4), ids};
    node.compatibleIds = ClassIds(device[4], device[5], device[6]);
    if (composite) node.compatibleIds.push_back(L"USB\\COMPOSITE");
    node.parent = hub.devinst;
    node.address = static_cast<DWORD>(p.port);
    node.plugged = plugging;
    node.generation = p.generation;
    if (const Package* pkg = package(-1)) {
        node.interfaces = allInterfaces();
        registerWinUsb(node, {pkg->guid});
    } else if (composite) {
        node.service = L"usbccgp";
    } else if (msos.device.winusb) {
        node.interfaces = allInterfaces();
        registerWinUsb(node, msos.device.guids);
    } else if (device[4] == 0x02) {
        node.service = L"usbser";
    }
    const std::wstring deviceId = node.instanceId;
    const bool functions = node.service == L"usbccgp";
    const DEVINST parent = AddNodeLocked(node);
    if (!functions) return;

    for (std::size_t k = 0; k < config.interfaces.size();) {
        const ConfigInterface& first = config.interfaces[k];
        unsigned count = 1;
        unsigned cls = first.cls, sub = first.sub, protocol = first.protocol;
        for (const auto& a : config.associations) {
            if (a.first == first.number && a.count > 0) {
                count = a.count;
                cls = a.cls;
                sub = a.sub;
                protocol = a.protocol;
            }
        }
        Node function;
        const std::wstring mi = L"&MI_" + Hex(first.number, 2);
        function.instanceId = ids + mi + L"\\7&" + HashOf(deviceId) + L"&0&" + Hex(first.number, 4);
        function.hardwareIds = {ids + L"&REV_" + Hex(release, 4) + mi, ids + mi};
        function.compatibleIds = ClassIds(cls, sub, protocol);
        function.parent = parent;
        function.address = first.number;
        function.plugged = plugging;
        function.generation = p.generation;
        for (unsigned n = 0; n < count && k + n < config.interfaces.size(); ++n) {
            function.interfaces.push_back(config.interfaces[k + n].number);
        }
        const auto features = msos.functions.find(first.number);
        if (const Package* pkg = package(first.number)) {
            registerWinUsb(function, {pkg->guid});
        } else if (features != msos.functions.end() && features->second.winusb) {
            registerWinUsb(function, features->second.guids);
        } else if (cls == 0x02 && sub == 0x02) {
            function.service = L"usbser";
        }
        if (function.service != L"WinUSB") function.interfaces.clear();
        AddNodeLocked(function);
        k += count;
    }
}

unsigned WindowsModel::CyclePortRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return cyclePorts_;
}

unsigned WindowsModel::NodeRestarts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return nodeRestarts_;
}

unsigned WindowsModel::RefusedResets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return refusedResets_;
}

ULONG WindowsModel::LargestControlBuffer() {
    std::lock_guard<std::mutex> lock(mutex_);
    return largestBuffer_;
}

unsigned WindowsModel::OversizedTransfers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return oversized_;
}

unsigned WindowsModel::OpenDeviceFiles() {
    std::lock_guard<std::mutex> lock(mutex_);
    unsigned n = 0;
    for (const auto& f : files_) n += f.second.hub ? 0 : 1;
    return n;
}

ULONG WindowsModel::ControlTimeout() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastTimeout_;
}

std::vector<std::wstring> WindowsModel::NodesOf(qvdfu::DfuDevice& device) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    std::vector<std::wstring> out;
    const int i = PluggingOf(device);
    for (const auto& entry : nodes_) {
        if (i >= 0 && entry.second.plugged == i) out.push_back(entry.second.instanceId);
    }
    return out;
}

std::wstring WindowsModel::ServiceOf(const std::wstring& instanceId) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Node* node = NodeByIdLocked(instanceId);
    return node != nullptr ? node->service : L"";
}

}  // namespace winusbmodel
