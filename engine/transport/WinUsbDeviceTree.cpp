// Reading the device tree through WinUsbApi. Every buffer is sized by asking first, as the
// setup functions expect, and every text read is bounded by what was returned.
#include "WinUsbDeviceTree.h"

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <cwctype>
#include <map>

#include "UsbConfigDescriptor.h"

namespace dfuengine {
namespace {

// {F18A0E88-C30C-11D0-8815-00A0C906BED8}: the device interface class of USB hubs.
constexpr GUID kUsbHubInterface = {
    0xf18a0e88, 0xc30c, 0x11d0, {0x88, 0x15, 0x00, 0xa0, 0xc9, 0x06, 0xbe, 0xd8}};
constexpr UCHAR kGetDescriptor = 0x06;
constexpr std::size_t kMaxConfiguration = 4096;

std::wstring Upper(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

bool Contains(const std::wstring& haystack, const wchar_t* needle) {
    return Upper(haystack).find(Upper(needle)) != std::wstring::npos;
}

// The hexadecimal number after `key` ("VID_", "PID_", "MI_") in an ID; -1 when absent.
long HexAfter(const std::wstring& id, const wchar_t* key, std::size_t digits) {
    const std::wstring upper = Upper(id);
    const auto at = upper.find(key);
    if (at == std::wstring::npos) return -1;
    long value = 0;
    const std::size_t start = at + std::wcslen(key);
    if (start + digits > upper.size()) return -1;
    for (std::size_t i = start; i < start + digits; ++i) {
        const wchar_t c = upper[i];
        int d;
        if (c >= L'0' && c <= L'9') {
            d = c - L'0';
        } else if (c >= L'A' && c <= L'F') {
            d = c - L'A' + 10;
        } else {
            return -1;
        }
        value = value * 16 + d;
    }
    return value;
}

// A registry text (REG_SZ or REG_MULTI_SZ) as its strings; bounded by the bytes returned, so a
// value without its terminator is read safely.
std::vector<std::wstring> Strings(const std::vector<BYTE>& bytes, DWORD size) {
    std::vector<std::wstring> out;
    const std::size_t count = std::min<std::size_t>(size, bytes.size()) / sizeof(wchar_t);
    const auto* text = reinterpret_cast<const wchar_t*>(bytes.data());
    std::wstring current;
    for (std::size_t i = 0; i < count; ++i) {
        if (text[i] == L'\0') {
            if (current.empty()) break;  // the empty string that ends a multi-string
            out.push_back(current);
            current.clear();
        } else {
            current.push_back(text[i]);
        }
    }
    if (!current.empty()) out.push_back(current);
    return out;
}

std::vector<std::wstring> DeviceTexts(WinUsbApi& api, HDEVINFO set, SP_DEVINFO_DATA& info,
                                      DWORD property) {
    DWORD required = 0;
    DWORD type = 0;
    if (!api.SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type, nullptr, 0,
                                               &required) &&
        api.GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    if (required == 0 || required > 65536) return {};
    std::vector<BYTE> buffer(required);
    if (!api.SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type, buffer.data(), required,
                                               &required) ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return {};
    }
    return Strings(buffer, required);
}

bool DeviceNumber(WinUsbApi& api, HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property,
                  DWORD& value) {
    DWORD type = 0;
    DWORD number = 0;
    if (!api.SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type,
                                               reinterpret_cast<BYTE*>(&number), sizeof number,
                                               nullptr) ||
        type != REG_DWORD) {
        return false;
    }
    value = number;
    return true;
}

std::wstring InstanceId(WinUsbApi& api, HDEVINFO set, SP_DEVINFO_DATA& info) {
    DWORD required = 0;
    if (!api.SetupDiGetDeviceInstanceIdW(set, &info, nullptr, 0, &required) &&
        api.GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    if (required == 0 || required > 4096) return {};
    std::vector<wchar_t> id(required + 1, L'\0');
    if (!api.SetupDiGetDeviceInstanceIdW(set, &info, id.data(), required, nullptr)) return {};
    return std::wstring(id.data());
}

std::wstring ParentId(WinUsbApi& api, const std::wstring& id) {
    std::vector<wchar_t> name(id.begin(), id.end());
    name.push_back(L'\0');
    DEVINST node = 0;
    DEVINST parent = 0;
    if (api.CM_Locate_DevNodeW(&node, name.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS ||
        api.CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) {
        return {};
    }
    wchar_t buffer[512] = {};
    if (api.CM_Get_Device_IDW(parent, buffer, 511, 0) != CR_SUCCESS) return {};
    return buffer;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (braces optional).
bool ParseGuid(std::wstring text, GUID& guid) {
    if (text.size() == 38 && text.front() == L'{' && text.back() == L'}') {
        text = text.substr(1, 36);
    }
    if (text.size() != 36 || text[8] != L'-' || text[13] != L'-' || text[18] != L'-' ||
        text[23] != L'-') {
        return false;
    }
    std::uint8_t bytes[16];
    std::size_t at = 0;
    for (int i = 0; i < 16; ++i) {
        if (text[at] == L'-') ++at;
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
        at += 2;
    }
    guid.Data1 = (static_cast<std::uint32_t>(bytes[0]) << 24) | (bytes[1] << 16) | (bytes[2] << 8) |
                 bytes[3];
    guid.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    guid.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = bytes[8 + i];
    return true;
}

// The interface GUIDs WinUSB registers for the node (its Device Parameters key; the names a
// driver package or the device's MS OS 2.0 descriptors give it).
std::vector<GUID> InterfaceGuids(WinUsbApi& api, HDEVINFO set, SP_DEVINFO_DATA& info) {
    std::vector<GUID> guids;
    HKEY key = api.SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE) || key == nullptr) return guids;
    for (const wchar_t* value : {L"DeviceInterfaceGUIDs", L"DeviceInterfaceGUID"}) {
        DWORD type = 0;
        DWORD size = 0;
        if (api.RegQueryValueExW(key, value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            size == 0 || size > 16384 || (type != REG_SZ && type != REG_MULTI_SZ)) {
            continue;
        }
        std::vector<BYTE> data(size);
        if (api.RegQueryValueExW(key, value, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
            continue;
        }
        for (const auto& text : Strings(data, size)) {
            GUID guid;
            if (ParseGuid(text, guid)) guids.push_back(guid);
        }
    }
    api.RegCloseKey(key);
    return guids;
}

std::vector<std::wstring> InterfacePaths(WinUsbApi& api, const GUID& guid,
                                         const std::wstring& instanceId) {
    std::vector<std::wstring> paths;
    HDEVINFO set = api.SetupDiGetClassDevsW(&guid, instanceId.c_str(), nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return paths;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; api.SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &data); ++i) {
        DWORD required = 0;
        api.SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) || required > 65536) continue;
        std::vector<BYTE> buffer(required + sizeof(wchar_t), 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (api.SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr)) {
            paths.emplace_back(detail->DevicePath);
        }
    }
    api.SetupDiDestroyDeviceInfoList(set);
    return paths;
}

// One GET_DESCRIPTOR through the hub, for the device on `port`.
bool HubDescriptor(WinUsbApi& api, HANDLE hub, DWORD port, UCHAR type, std::size_t length,
                   std::vector<std::uint8_t>& out) {
    const std::size_t header = offsetof(USB_DESCRIPTOR_REQUEST, Data);
    std::vector<BYTE> buffer(header + length, 0);
    auto* request = reinterpret_cast<USB_DESCRIPTOR_REQUEST*>(buffer.data());
    request->ConnectionIndex = port;
    request->SetupPacket.bmRequest = 0x80;
    request->SetupPacket.bRequest = kGetDescriptor;
    request->SetupPacket.wValue = static_cast<USHORT>(type << 8);
    request->SetupPacket.wIndex = 0;
    request->SetupPacket.wLength = static_cast<USHORT>(length);
    DWORD returned = 0;
    if (!api.DeviceIoControl(hub, IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, buffer.data(),
                             static_cast<DWORD>(buffer.size()), buffer.data(),
                             static_cast<DWORD>(buffer.size()), &returned, nullptr) ||
        returned < header) {
        return false;
    }
    out.assign(buffer.begin() + header,
               buffer.begin() + std::min<std::size_t>(returned, buffer.size()));
    return true;
}

// The device's whole configuration descriptor set, read through its hub.
bool ConfigurationThroughHub(WinUsbApi& api, const UsbDeviceNode& device,
                             std::vector<std::uint8_t>& config) {
    HANDLE hub = OpenHub(api, device.hubId);
    if (hub == INVALID_HANDLE_VALUE) return false;
    bool ok = HubDescriptor(api, hub, device.port, USB_CONFIGURATION_DESCRIPTOR_TYPE, 9, config) &&
              config.size() >= 9;
    if (ok) {
        const std::size_t total =
            std::min<std::size_t>(config[2] | (config[3] << 8), kMaxConfiguration);
        ok = total >= 9 &&
             HubDescriptor(api, hub, device.port, USB_CONFIGURATION_DESCRIPTOR_TYPE, total, config);
    }
    api.CloseHandle(hub);
    return ok;
}

struct Node {
    SP_DEVINFO_DATA info{};
    std::wstring id;
    std::wstring service;
    std::wstring parentId;
    DWORD address = 0;
    bool hasAddress = false;
};

bool IsHub(const Node& node) {
    return Contains(node.id, L"ROOT_HUB") || Upper(node.service).rfind(L"USBHUB", 0) == 0;
}

bool IsFunction(const std::wstring& id) {
    return Contains(id, L"&MI_");
}

// Every present node of the USB enumerator, read once; calls f(set, nodes) while the set is
// open.
template <typename F>
void WithUsbNodes(WinUsbApi& api, F f) {
    HDEVINFO set =
        api.SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return;
    std::vector<Node> nodes;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; api.SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        Node node;
        node.info = info;
        node.id = InstanceId(api, set, node.info);
        if (node.id.empty()) continue;
        const auto service = DeviceTexts(api, set, node.info, SPDRP_SERVICE);
        if (!service.empty()) node.service = service.front();
        node.hasAddress = DeviceNumber(api, set, node.info, SPDRP_ADDRESS, node.address);
        node.parentId = ParentId(api, node.id);
        nodes.push_back(node);
    }
    f(set, nodes);
    api.SetupDiDestroyDeviceInfoList(set);
}

bool DeviceOf(const Node& node, UsbDeviceNode& out) {
    const long vendor = HexAfter(node.id, L"VID_", 4);
    const long product = HexAfter(node.id, L"PID_", 4);
    if (vendor < 0 || product < 0 || !node.hasAddress || node.parentId.empty()) return false;
    out.instanceId = node.id;
    out.service = node.service;
    out.hubId = node.parentId;
    out.port = node.address;
    out.vendor = static_cast<std::uint16_t>(vendor);
    out.product = static_cast<std::uint16_t>(product);
    return true;
}

}  // namespace

std::wstring UsbDeviceNode::Location() const {
    return hubId + L"#" + std::to_wstring(port);
}

bool DfuNode::ServedByWinUsb() const {
    return Upper(service) == L"WINUSB";
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && Upper(a) == Upper(b);
}

HANDLE OpenHub(WinUsbApi& api, const std::wstring& hubId) {
    for (const auto& path : InterfacePaths(api, kUsbHubInterface, hubId)) {
        HANDLE hub = api.CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        if (hub != INVALID_HANDLE_VALUE) return hub;
    }
    return INVALID_HANDLE_VALUE;
}

bool NodePresent(WinUsbApi& api, const std::wstring& instanceId) {
    std::vector<wchar_t> name(instanceId.begin(), instanceId.end());
    name.push_back(L'\0');
    DEVINST node = 0;
    return api.CM_Locate_DevNodeW(&node, name.data(), CM_LOCATE_DEVNODE_NORMAL) == CR_SUCCESS;
}

std::vector<UsbDeviceNode> FindUsbDevices(WinUsbApi& api) {
    std::vector<UsbDeviceNode> devices;
    WithUsbNodes(api, [&](HDEVINFO, std::vector<Node>& nodes) {
        for (const auto& node : nodes) {
            UsbDeviceNode device;
            if (!IsHub(node) && !IsFunction(node.id) && DeviceOf(node, device)) {
                devices.push_back(device);
            }
        }
    });
    return devices;
}

std::vector<DfuNode> FindDfuNodes(WinUsbApi& api) {
    std::vector<DfuNode> found;
    WithUsbNodes(api, [&](HDEVINFO set, std::vector<Node>& nodes) {
        std::map<std::wstring, UsbDeviceNode> devices;
        for (const auto& node : nodes) {
            UsbDeviceNode device;
            if (!IsHub(node) && !IsFunction(node.id) && DeviceOf(node, device)) {
                devices[Upper(node.id)] = device;
            }
        }
        // Each device's configuration is read once, whatever number of its functions ask.
        std::map<std::wstring, std::vector<std::uint8_t>> configurations;
        for (auto& node : nodes) {
            if (IsHub(node)) continue;
            const bool function = IsFunction(node.id);
            // A composite device's parent driver serves no interface itself: its functions do.
            if (!function && Upper(node.service) == L"USBCCGP") continue;
            const auto owner = devices.find(Upper(function ? node.parentId : node.id));
            if (owner == devices.end()) continue;
            auto config = configurations.find(owner->first);
            if (config == configurations.end()) {
                std::vector<std::uint8_t> bytes;
                ConfigurationThroughHub(api, owner->second, bytes);
                config = configurations.emplace(owner->first, std::move(bytes)).first;
            }
            const std::vector<std::uint8_t>& bytes = config->second;
            std::vector<std::uint8_t> interfaces;  // empty: all of the device's
            if (function) {
                const long first = HexAfter(node.id, L"MI_", 2);
                if (first < 0) continue;
                const unsigned count = FunctionInterfaceCount(bytes.data(), bytes.size(),
                                                              static_cast<std::uint8_t>(first));
                for (unsigned i = 0; i < count; ++i) {
                    interfaces.push_back(static_cast<std::uint8_t>(first + i));
                }
            }
            DfuDescription d;
            if (!FindDfuInterface(bytes.data(), bytes.size(), interfaces, d)) continue;
            DfuNode dfu;
            dfu.instanceId = node.id;
            dfu.service = node.service;
            dfu.device = owner->second;
            dfu.function = function;
            dfu.dfuInterface = d.interfaceNumber;
            if (dfu.ServedByWinUsb()) {
                for (const GUID& guid : InterfaceGuids(api, set, node.info)) {
                    const auto paths = InterfacePaths(api, guid, node.id);
                    if (!paths.empty()) {
                        dfu.interfacePath = paths.front();
                        break;
                    }
                }
            }
            found.push_back(dfu);
        }
    });
    return found;
}

}  // namespace dfuengine
