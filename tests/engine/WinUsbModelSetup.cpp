// The model's device setup functions, registry and configuration manager, with the behaviour
// their Microsoft pages give them (sizes asked for first, the errors they name).
#include <cstddef>
#include <cstring>
#include <cwctype>

#include "WinUsbModel.h"

namespace winusbmodel {
namespace {

constexpr DWORD kErrorInvalidUserBuffer = 1784;  // ERROR_INVALID_USER_BUFFER
constexpr DWORD kErrorKeyDoesNotExist = 1018;    // ERROR_KEY_DOES_NOT_EXIST

thread_local DWORD t_lastError = ERROR_SUCCESS;

std::wstring Upper(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// A REG_MULTI_SZ value: each string with its terminator, then an empty one.
std::vector<BYTE> MultiString(const std::vector<std::wstring>& strings) {
    std::vector<BYTE> out;
    const auto add = [&](wchar_t c) {
        const auto* p = reinterpret_cast<const BYTE*>(&c);
        out.insert(out.end(), p, p + sizeof c);
    };
    for (const auto& s : strings) {
        for (wchar_t c : s) add(c);
        add(L'\0');
    }
    add(L'\0');
    return out;
}

std::vector<BYTE> String(const std::wstring& text) {
    std::vector<BYTE> out = MultiString({text});
    out.resize(out.size() - sizeof(wchar_t));  // REG_SZ: one terminator
    return out;
}

std::uintptr_t Id(const void* handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

}  // namespace

BOOL WindowsModel::Fail(DWORD error) {
    t_lastError = error;
    return FALSE;
}

DWORD WindowsModel::GetLastError() {
    return t_lastError;
}

bool WindowsModel::RunsAsAdministrator() {
    std::lock_guard<std::mutex> lock(mutex_);
    return options_.administrator;
}

bool WindowsModel::IsWindows8OrLater() {
    std::lock_guard<std::mutex> lock(mutex_);
    return options_.windows8OrLater;
}

// SetupDiGetClassDevsW: with DIGCF_DEVICEINTERFACE, the device interfaces of the class, of one
// device instance when Enumerator names one; else, with DIGCF_ALLCLASSES and the enumerator
// "USB", every node the USB bus enumerates (hubs, devices, functions). DIGCF_PRESENT: only
// present ones (the model keeps no others).
HDEVINFO WindowsModel::SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND,
                                            DWORD flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    DeviceSet set;
    if ((flags & DIGCF_DEVICEINTERFACE) != 0) {
        if (classGuid == nullptr) return FailWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
        wchar_t text[40];
        std::swprintf(text, 40, L"{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                      static_cast<unsigned>(classGuid->Data1), classGuid->Data2, classGuid->Data3,
                      classGuid->Data4[0], classGuid->Data4[1], classGuid->Data4[2],
                      classGuid->Data4[3], classGuid->Data4[4], classGuid->Data4[5],
                      classGuid->Data4[6], classGuid->Data4[7]);
        set.interfaces = true;
        for (const auto& entry : nodes_) {
            if (enumerator != nullptr && Upper(entry.second.instanceId) != Upper(enumerator)) {
                continue;
            }
            for (const auto& di : entry.second.deviceInterfaces) {
                if (Upper(di.first) == Upper(text)) {
                    set.interfaceList.push_back({entry.first, di.second});
                }
            }
        }
    } else {
        if (classGuid != nullptr || (flags & DIGCF_ALLCLASSES) == 0 || enumerator == nullptr) {
            return FailWith(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
        }
        const std::wstring prefix = Upper(enumerator) + L"\\";
        for (const auto& entry : nodes_) {
            if (Upper(entry.second.instanceId).rfind(prefix, 0) == 0) {
                set.nodes.push_back(entry.first);
                set.snapshot.push_back(entry.second);
            }
        }
    }
    const std::uintptr_t id = nextHandle_++;
    sets_[id] = set;
    return reinterpret_cast<HDEVINFO>(id);
}

// SetupDiEnumDeviceInfo: cbSize must be set; past the last element ERROR_NO_MORE_ITEMS.
BOOL WindowsModel::SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sets_.find(Id(set));
    if (it == sets_.end()) return Fail(ERROR_INVALID_HANDLE);
    if (info == nullptr || info->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return Fail(kErrorInvalidUserBuffer);
    }
    if (index >= it->second.nodes.size()) return Fail(ERROR_NO_MORE_ITEMS);
    info->DevInst = it->second.nodes[index];
    return TRUE;
}

namespace {

// The set's element for `info` (the node as it was when listed).
template <typename Set, typename Node>
const Node* ElementOf(const Set& set, PSP_DEVINFO_DATA info) {
    if (info == nullptr || info->cbSize != sizeof(SP_DEVINFO_DATA)) return nullptr;
    for (const auto& node : set.snapshot) {
        if (node.devinst == info->DevInst) return &node;
    }
    return nullptr;
}

}  // namespace

// SetupDiGetDeviceInstanceIdW: a buffer too small (or none) gives ERROR_INSUFFICIENT_BUFFER and
// the size needed in characters, terminator included.
BOOL WindowsModel::SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA info, PWSTR id,
                                               DWORD size, DWORD* required) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sets_.find(Id(set));
    if (it == sets_.end()) return Fail(ERROR_INVALID_HANDLE);
    const Node* node = ElementOf<DeviceSet, Node>(it->second, info);
    if (node == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const DWORD needed = static_cast<DWORD>(node->instanceId.size() + 1);
    if (required != nullptr) *required = needed;
    if (id == nullptr || size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(id, node->instanceId.c_str(), needed * sizeof(wchar_t));
    return TRUE;
}

// SetupDiGetDeviceRegistryPropertyW: SPDRP_SERVICE (REG_SZ; a node without a driver has none:
// ERROR_INVALID_DATA), SPDRP_HARDWAREID and SPDRP_COMPATIBLEIDS (REG_MULTI_SZ), SPDRP_ADDRESS
// (REG_DWORD: a USB device's port, DEVPKEY_Device_Address). Too small a buffer:
// ERROR_INSUFFICIENT_BUFFER and the size needed in bytes.
BOOL WindowsModel::SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA info,
                                                     DWORD property, DWORD* type, BYTE* buffer,
                                                     DWORD size, DWORD* required) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sets_.find(Id(set));
    if (it == sets_.end()) return Fail(ERROR_INVALID_HANDLE);
    const Node* node = ElementOf<DeviceSet, Node>(it->second, info);
    if (node == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    std::vector<BYTE> value;
    DWORD valueType = REG_SZ;
    switch (property) {
        case SPDRP_SERVICE:
            if (node->service.empty()) return Fail(ERROR_INVALID_DATA);
            value = String(node->service);
            break;
        case SPDRP_HARDWAREID:
            value = MultiString(node->hardwareIds);
            valueType = REG_MULTI_SZ;
            break;
        case SPDRP_COMPATIBLEIDS:
            if (node->compatibleIds.empty()) return Fail(ERROR_INVALID_DATA);
            value = MultiString(node->compatibleIds);
            valueType = REG_MULTI_SZ;
            break;
        case SPDRP_ADDRESS: {
            if (node->plugged < 0 && node->hub <= 0) return Fail(ERROR_INVALID_DATA);
            const auto* p = reinterpret_cast<const BYTE*>(&node->address);
            value.assign(p, p + sizeof node->address);
            valueType = REG_DWORD;
            break;
        }
        default:
            return Fail(ERROR_INVALID_DATA);
    }
    if (type != nullptr) *type = valueType;
    if (required != nullptr) *required = static_cast<DWORD>(value.size());
    if (buffer == nullptr || size < value.size()) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, value.data(), value.size());
    return TRUE;
}

// SetupDiOpenDevRegKey(DIREG_DEV): the node's Device Parameters key, where WinUSB keeps
// DeviceInterfaceGUIDs; INVALID_HANDLE_VALUE for a node that has none (no driver installed).
HKEY WindowsModel::SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA info, DWORD scope, DWORD,
                                        DWORD keyType, REGSAM) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sets_.find(Id(set));
    const HKEY invalid = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    if (it == sets_.end()) return FailWith(ERROR_INVALID_HANDLE, invalid);
    const Node* node = ElementOf<DeviceSet, Node>(it->second, info);
    if (node == nullptr || scope != DICS_FLAG_GLOBAL || keyType != DIREG_DEV) {
        return FailWith(ERROR_INVALID_PARAMETER, invalid);
    }
    if (node->service.empty()) return FailWith(kErrorKeyDoesNotExist, invalid);
    const std::uintptr_t id = nextHandle_++;
    auto& values = keys_[id];
    if (!node->interfaceGuids.empty()) {
        values.push_back(
            {L"DeviceInterfaceGUIDs", {REG_MULTI_SZ, MultiString(node->interfaceGuids)}});
    }
    return reinterpret_cast<HKEY>(id);
}

// RegQueryValueExW: no data buffer gives the size; too small a buffer ERROR_MORE_DATA with the
// size needed; a missing value ERROR_FILE_NOT_FOUND. Returns the error, sets no last error.
LSTATUS WindowsModel::RegQueryValueExW(HKEY key, PCWSTR name, DWORD* reserved, DWORD* type,
                                       BYTE* data, DWORD* size) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = keys_.find(Id(key));
    if (it == keys_.end() || reserved != nullptr) return ERROR_INVALID_HANDLE;
    for (const auto& value : it->second) {
        if (Upper(value.first) != Upper(name != nullptr ? name : L"")) continue;
        const std::vector<BYTE>& bytes = value.second.second;
        if (type != nullptr) *type = value.second.first;
        if (data != nullptr && (size == nullptr || *size < bytes.size())) {
            if (size != nullptr) *size = static_cast<DWORD>(bytes.size());
            return ERROR_MORE_DATA;
        }
        if (size != nullptr) *size = static_cast<DWORD>(bytes.size());
        if (data != nullptr) std::memcpy(data, bytes.data(), bytes.size());
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS WindowsModel::RegCloseKey(HKEY key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return keys_.erase(Id(key)) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// SetupDiEnumDeviceInterfaces: the set's interfaces of the class; past the last one
// ERROR_NO_MORE_ITEMS.
BOOL WindowsModel::SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*,
                                               DWORD index, PSP_DEVICE_INTERFACE_DATA data) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sets_.find(Id(set));
    if (it == sets_.end()) return Fail(ERROR_INVALID_HANDLE);
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Fail(kErrorInvalidUserBuffer);
    }
    if (index >= it->second.interfaceList.size()) return Fail(ERROR_NO_MORE_ITEMS);
    data->Reserved = index;
    return TRUE;
}

// SetupDiGetDeviceInterfaceDetailW: asked without a buffer, ERROR_INSUFFICIENT_BUFFER and the
// size needed; the detail's cbSize must be sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W).
BOOL WindowsModel::SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                                    PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                    DWORD size, DWORD* required, PSP_DEVINFO_DATA) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sets_.find(Id(set));
    if (it == sets_.end()) return Fail(ERROR_INVALID_HANDLE);
    if (data == nullptr || data->Reserved >= it->second.interfaceList.size()) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::wstring& path = it->second.interfaceList[data->Reserved].second;
    const DWORD needed =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                           (path.size() + 1) * sizeof(wchar_t));
    if (required != nullptr) *required = needed;
    if (detail == nullptr) {
        return Fail(size == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        return Fail(kErrorInvalidUserBuffer);
    }
    if (size < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    return TRUE;
}

BOOL WindowsModel::SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    std::lock_guard<std::mutex> lock(mutex_);
    return sets_.erase(Id(set)) == 1 ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

// CM_Locate_DevNodeW with CM_LOCATE_DEVNODE_NORMAL: a handle only for a device that is
// configured in the device tree now, else CR_NO_SUCH_DEVNODE.
CONFIGRET WindowsModel::CM_Locate_DevNodeW(DEVINST* node, PWSTR id, ULONG flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    if (node == nullptr || id == nullptr || flags != CM_LOCATE_DEVNODE_NORMAL) {
        return CR_INVALID_DEVNODE;
    }
    const Node* found = NodeByIdLocked(id);
    if (found == nullptr) return CR_NO_SUCH_DEVNODE;
    *node = found->devinst;
    return CR_SUCCESS;
}

CONFIGRET WindowsModel::CM_Get_Parent(DEVINST* parent, DEVINST node, ULONG) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Node* found = NodeLocked(node);
    if (found == nullptr || parent == nullptr || found->parent == 0) return CR_INVALID_DEVNODE;
    *parent = found->parent;
    return CR_SUCCESS;
}

// CM_Get_Device_IDW: the instance ID with its terminator; too small a buffer CR_BUFFER_SMALL.
CONFIGRET WindowsModel::CM_Get_Device_IDW(DEVINST node, PWSTR buffer, ULONG size, ULONG) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Node* found = NodeLocked(node);
    if (found == nullptr || buffer == nullptr) return CR_INVALID_DEVNODE;
    if (size < found->instanceId.size() + 1) return CR_BUFFER_SMALL;
    std::memcpy(buffer, found->instanceId.c_str(),
                (found->instanceId.size() + 1) * sizeof(wchar_t));
    return CR_SUCCESS;
}

// Disabling and enabling change the device's state, which only a member of the Administrators
// group may do (SetupDiChangeState, the handler of that change: "The caller ... must be a
// member of the Administrators group").
CONFIGRET WindowsModel::StateChangeLocked(DEVINST node, Node*& found) {
    found = NodeLocked(node);
    if (found == nullptr || found->plugged < 0) return CR_INVALID_DEVNODE;
    if (options_.administrator) return CR_SUCCESS;
    ++refusedResets_;
    return CR_ACCESS_DENIED;
}

// CM_Disable_DevNode: open handles on the device veto its removal (CR_REMOVE_VETOED).
CONFIGRET WindowsModel::CM_Disable_DevNode(DEVINST node, ULONG) {
    std::lock_guard<std::mutex> lock(mutex_);
    Node* found = nullptr;
    const CONFIGRET refused = StateChangeLocked(node, found);
    if (refused != CR_SUCCESS) return refused;
    const int plugging = found->plugged;
    for (const auto& f : files_) {
        if (!f.second.hub && f.second.plugged == plugging) return CR_REMOVE_VETOED;
    }
    Plugging& p = pluggings_[static_cast<std::size_t>(plugging)];
    // The device stays, disabled, without its functions and interfaces.
    Node kept = *found;
    kept.deviceInterfaces.clear();
    kept.interfaces.clear();
    RemoveNodesLocked(plugging);
    nodes_[kept.devinst] = kept;
    p.disabled = true;
    return CR_SUCCESS;
}

// CM_Enable_DevNode: enabling makes the bus driver reset the device, which enumerates again
// (IOCTL_USB_HUB_CYCLE_PORT page: "the Device Manager's Enable/Disable feature ... causes the
// bus driver to reset the device").
CONFIGRET WindowsModel::CM_Enable_DevNode(DEVINST node, ULONG) {
    std::lock_guard<std::mutex> lock(mutex_);
    Node* found = nullptr;
    const CONFIGRET refused = StateChangeLocked(node, found);
    if (refused != CR_SUCCESS) return refused;
    Plugging& p = pluggings_[static_cast<std::size_t>(found->plugged)];
    if (!p.disabled) return CR_SUCCESS;
    const int plugging = found->plugged;
    p.disabled = false;
    p.present = false;
    RemoveNodesLocked(plugging);
    if (p.device != nullptr) p.device->Reset();
    ++nodeRestarts_;
    RefreshLocked();
    return CR_SUCCESS;
}

}  // namespace winusbmodel
