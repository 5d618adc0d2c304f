// The model's answers. Each follows the documented behaviour of the call it stands in for:
//   SetupDiClassGuidsFromNameA
//   https://learn.microsoft.com/en-us/windows/win32/api/setupapi/nf-setupapi-setupdiclassguidsfromnamea
//     RequiredSize receives the number of classes of that name; a list too small for them
//     fails with ERROR_INSUFFICIENT_BUFFER.
//   SetupDiGetClassDevsA
//   https://learn.microsoft.com/en-us/windows/win32/api/setupapi/nf-setupapi-setupdigetclassdevsa
//     gives INVALID_HANDLE_VALUE when it fails.
//   SetupDiEnumDeviceInfo
//   https://learn.microsoft.com/en-us/windows/win32/api/setupapi/nf-setupapi-setupdienumdeviceinfo
//     needs cbSize = sizeof(SP_DEVINFO_DATA) (else ERROR_INVALID_USER_BUFFER); an index past
//     the last member fails with ERROR_NO_MORE_ITEMS.
//   SetupDiOpenDevRegKey
//   https://learn.microsoft.com/en-us/windows/win32/api/setupapi/nf-setupapi-setupdiopendevregkey
//     gives INVALID_HANDLE_VALUE when it fails.
//   SetupDiGetDeviceRegistryPropertyA
//   https://learn.microsoft.com/en-us/windows/win32/api/setupapi/nf-setupapi-setupdigetdeviceregistrypropertya
//     a property the device lacks fails with ERROR_INVALID_DATA; a buffer too small for the
//     value fails with ERROR_INSUFFICIENT_BUFFER. SPDRP_HARDWAREID is a REG_MULTI_SZ list,
//     most specific first; a USB device's begins "USB\VID_vvvv&PID_pppp&REV_rrrr"
//   https://learn.microsoft.com/en-us/windows-hardware/drivers/install/hardware-ids
//   https://learn.microsoft.com/en-us/windows-hardware/drivers/install/standard-usb-identifiers
//   RegQueryValueExA
//   https://learn.microsoft.com/en-us/windows/win32/api/winreg/nf-winreg-regqueryvalueexa
//     without a buffer it gives the type and size; a buffer too small gives ERROR_MORE_DATA
//     and the size; a missing value ERROR_FILE_NOT_FOUND; a REG_SZ value comes as stored,
//     possibly without its terminating zero.
//   RegOpenKeyExA
//   https://learn.microsoft.com/en-us/windows/win32/api/winreg/nf-winreg-regopenkeyexa
//     a missing key gives ERROR_FILE_NOT_FOUND.
//   RegEnumValueA
//   https://learn.microsoft.com/en-us/windows/win32/api/winreg/nf-winreg-regenumvaluea
//     the name size counts characters with the terminating zero going in and without it
//     coming out; a name or data too large for its buffer gives ERROR_MORE_DATA; an index
//     past the last value ERROR_NO_MORE_ITEMS.
#include "tests/device/FakeSetupApi.h"

#include <cstring>

#include "device/ports/SetupApi_win.h"

namespace fake_setup {
namespace {

Model g_model;

// Handles: the device list is the model itself; a key is one past a device's index, or the
// device map's tag.
HDEVINFO ListHandle() {
    return reinterpret_cast<HDEVINFO>(&g_model);
}
char g_deviceMapTag;
HKEY DeviceMapKey() {
    return reinterpret_cast<HKEY>(&g_deviceMapTag);
}
HKEY DeviceKey(DWORD index) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(index) + 1);
}
const Device* DeviceOfKey(HKEY key) {
    const auto index = reinterpret_cast<ULONG_PTR>(key);
    if (index == 0 || index > g_model.devices.size()) return nullptr;
    return &g_model.devices[index - 1];
}
const Device* DeviceOf(HDEVINFO devices, PSP_DEVINFO_DATA info) {
    if (devices != ListHandle() || info == nullptr || info->DevInst >= g_model.devices.size())
        return nullptr;
    return &g_model.devices[info->DevInst];
}

const GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

}  // namespace

Value Text(const std::string& text) {
    return {REG_SZ, text + std::string(1, '\0')};
}

Model& State() {
    return g_model;
}

void Reset() {
    g_model = Model();
}

}  // namespace fake_setup

namespace portapi {

using fake_setup::g_model;

bool LoadSetupLibrary() {
    return g_model.libraryLoads;
}

BOOL SetupDiClassGuidsFromNameA(PCSTR className, LPGUID guids, DWORD guidsSize,
                                PDWORD requiredSize) {
    const DWORD count = std::strcmp(className, "Ports") == 0 ? g_model.portsClasses : 0;
    if (requiredSize != nullptr) *requiredSize = count;
    if (guidsSize < count) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    for (DWORD i = 0; i < count; ++i) guids[i] = fake_setup::kPortsClass;
    return TRUE;
}

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR, HWND, DWORD flags) {
    if (!g_model.deviceListOpens || classGuid == nullptr ||
        std::memcmp(classGuid, &fake_setup::kPortsClass, sizeof(GUID)) != 0 ||
        flags != DIGCF_PRESENT) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ++g_model.openLists;
    ++g_model.listsMade;
    return fake_setup::ListHandle();
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO devices, DWORD index, PSP_DEVINFO_DATA info) {
    if (devices != fake_setup::ListHandle() || info == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (info->cbSize != sizeof(SP_DEVINFO_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (index >= g_model.devices.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    info->ClassGuid = fake_setup::kPortsClass;
    info->DevInst = index;  // the model's own way to find the member again
    return TRUE;
}

HKEY SetupDiOpenDevRegKey(HDEVINFO devices, PSP_DEVINFO_DATA info, DWORD scope, DWORD,
                          DWORD keyType, REGSAM) {
    const fake_setup::Device* device = fake_setup::DeviceOf(devices, info);
    if (device == nullptr || !device->keyOpens || scope != DICS_FLAG_GLOBAL ||
        keyType != DIREG_DEV) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    ++g_model.openKeys;
    return fake_setup::DeviceKey(info->DevInst);
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO devices, PSP_DEVINFO_DATA info, DWORD property,
                                       PDWORD dataType, PBYTE buffer, DWORD bufferSize,
                                       PDWORD requiredSize) {
    const fake_setup::Device* device = fake_setup::DeviceOf(devices, info);
    if (device == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const std::optional<fake_setup::Value>* stored = nullptr;
    if (property == SPDRP_DEVICEDESC) stored = &device->description;
    if (property == SPDRP_HARDWAREID) stored = &device->hardwareIds;
    if (stored == nullptr || !*stored) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    const fake_setup::Value& value = **stored;
    const auto size = static_cast<DWORD>(value.bytes.size());
    if (requiredSize != nullptr) *requiredSize = size;
    if (dataType != nullptr) *dataType = value.type;
    if (buffer == nullptr || bufferSize < size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, value.bytes.data(), size);
    return TRUE;
}

void SetupDiDestroyDeviceInfoList(HDEVINFO devices) {
    if (devices == fake_setup::ListHandle()) --g_model.openLists;
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    if (key != HKEY_LOCAL_MACHINE || std::strcmp(subKey, "HARDWARE\\DEVICEMAP\\SERIALCOMM") != 0 ||
        !g_model.deviceMap) {
        return ERROR_FILE_NOT_FOUND;
    }
    ++g_model.deviceMapReads;
    ++g_model.openKeys;
    *result = fake_setup::DeviceMapKey();
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    const fake_setup::Device* device = fake_setup::DeviceOfKey(key);
    if (device == nullptr) return ERROR_INVALID_HANDLE;
    if (std::strcmp(valueName, "PortName") != 0 || !device->portName) return ERROR_FILE_NOT_FOUND;
    const fake_setup::Value& value = *device->portName;
    const auto size = static_cast<DWORD>(value.bytes.size());
    if (type != nullptr) *type = value.type;
    if (data == nullptr) {
        if (dataSize != nullptr) *dataSize = size;
        return ERROR_SUCCESS;
    }
    if (dataSize == nullptr) return ERROR_INVALID_PARAMETER;
    if (*dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, value.bytes.data(), size);
    *dataSize = size;
    return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    if (key != fake_setup::DeviceMapKey() || !g_model.deviceMap) return ERROR_INVALID_HANDLE;
    const auto& values = *g_model.deviceMap;
    if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
    const std::string& name = values[index].first;
    const fake_setup::Value& value = values[index].second;
    if (*valueNameSize < name.size() + 1) return ERROR_MORE_DATA;
    std::memcpy(valueName, name.c_str(), name.size() + 1);
    *valueNameSize = static_cast<DWORD>(name.size());
    if (type != nullptr) *type = value.type;
    if (data != nullptr) {
        if (*dataSize < value.bytes.size()) {
            *dataSize = static_cast<DWORD>(value.bytes.size());
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, value.bytes.data(), value.bytes.size());
    }
    if (dataSize != nullptr) *dataSize = static_cast<DWORD>(value.bytes.size());
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (key != fake_setup::DeviceMapKey() && fake_setup::DeviceOfKey(key) == nullptr)
        return ERROR_INVALID_HANDLE;
    --g_model.openKeys;
    return ERROR_SUCCESS;
}

}  // namespace portapi
