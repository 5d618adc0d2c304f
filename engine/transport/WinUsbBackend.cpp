// Back end for real devices on Windows: DFU interfaces (class 0xFE, subclass 0x01) of USB devices
// bound to WinUSB. Thin on purpose: it lists, opens and passes control transfers through; all
// DFU logic stays above it, where the simulated device exercises it.
//
// Listing: every present USB device whose service is WinUSB and whose compatible IDs name the
// DFU interface class; its device interface path (from the DeviceInterfaceGUIDs the driver
// package registered) is the device name.
// windows.h comes first.
// clang-format off
#include <windows.h>
#include <cfgmgr32.h>
#include <objbase.h>
#include <setupapi.h>
#include <winusb.h>
// clang-format on

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "Transport.h"

namespace dfuengine {
namespace {

constexpr UCHAR kDeviceDescriptor = 1;
constexpr UCHAR kConfigDescriptor = 2;
constexpr UCHAR kInterfaceDescriptor = 4;
constexpr UCHAR kDfuFunctionalDescriptor = 0x21;
// ERROR_NO_SUCH_DEVICE, which not every SDK's headers name.
constexpr DWORD kErrorNoSuchDevice = 433;

bool ContainsNoCase(const std::wstring& haystack, const wchar_t* needle) {
    std::wstring a = haystack, b = needle;
    for (auto& c : a) c = static_cast<wchar_t>(std::towupper(c));
    for (auto& c : b) c = static_cast<wchar_t>(std::towupper(c));
    return a.find(b) != std::wstring::npos;
}

std::wstring RegistryText(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
    wchar_t buffer[2048] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &info, property, &type,
                                           reinterpret_cast<BYTE*>(buffer), sizeof buffer - 4,
                                           nullptr)) {
        return {};
    }
    // Multi-strings become one text with '|' between the entries.
    std::wstring out;
    for (const wchar_t* p = buffer; *p != L'\0'; p += std::wcslen(p) + 1) {
        out += p;
        out += L'|';
        if (type != REG_MULTI_SZ) break;
    }
    return out;
}

// The interface GUIDs a WinUSB driver package registers for the device.
std::vector<GUID> InterfaceGuids(HDEVINFO set, SP_DEVINFO_DATA& info) {
    std::vector<GUID> guids;
    HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return guids;
    for (const wchar_t* value : {L"DeviceInterfaceGUIDs", L"DeviceInterfaceGUID"}) {
        wchar_t buffer[1024] = {};
        DWORD size = sizeof buffer - 4;
        if (RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                             &size) != ERROR_SUCCESS) {
            continue;
        }
        for (wchar_t* p = buffer; *p != L'\0'; p += std::wcslen(p) + 1) {
            GUID guid;
            if (CLSIDFromString(p, &guid) == NOERROR) guids.push_back(guid);
        }
    }
    RegCloseKey(key);
    return guids;
}

std::vector<std::wstring> InterfacePaths(const GUID& guid, const std::wstring& instanceId) {
    std::vector<std::wstring> paths;
    HDEVINFO set = SetupDiGetClassDevsW(&guid, instanceId.c_str(), nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return paths;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &guid, i, &data); ++i) {
        std::vector<BYTE> buffer(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) +
                                 1024 * sizeof(wchar_t));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(set, &data, detail, static_cast<DWORD>(buffer.size()),
                                             nullptr, nullptr)) {
            paths.emplace_back(detail->DevicePath);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

// An opened WinUSB device.
class WinUsbDevice : public UsbDevice {
  public:
    WinUsbDevice(HANDLE file, WINUSB_INTERFACE_HANDLE usb) : file_(file), usb_(usb) {}
    ~WinUsbDevice() override { Close(); }
    WinUsbDevice(const WinUsbDevice&) = delete;
    WinUsbDevice& operator=(const WinUsbDevice&) = delete;

    bool Describe(DfuDescription& out) override {
        if (usb_ == nullptr) return false;
        UCHAR device[18] = {};
        ULONG got = 0;
        if (!WinUsb_GetDescriptor(usb_, kDeviceDescriptor, 0, 0, device, sizeof device, &got) ||
            got < sizeof device) {
            return false;
        }
        UCHAR config[1024] = {};
        if (!WinUsb_GetDescriptor(usb_, kConfigDescriptor, 0, 0, config, sizeof config, &got)) {
            return false;
        }
        const ULONG total = std::min<ULONG>(got, config[2] | (config[3] << 8));
        out.vendor = static_cast<std::uint16_t>(device[8] | (device[9] << 8));
        out.product = static_cast<std::uint16_t>(device[10] | (device[11] << 8));
        out.release = static_cast<std::uint16_t>(device[12] | (device[13] << 8));
        // Walk the descriptors: the DFU interface, then its functional descriptor.
        bool inDfu = false;
        for (ULONG at = 0; at + 2 <= total && config[at] >= 2 && at + config[at] <= total;
             at += config[at]) {
            const UCHAR* d = config + at;
            if (d[1] == kInterfaceDescriptor && d[0] >= 9) {
                inDfu = d[5] == 0xFE && d[6] == 0x01;
                if (inDfu) {
                    out.interfaceNumber = d[2];
                    out.dfuMode = d[7] == 0x02;
                }
            } else if (inDfu && d[1] == kDfuFunctionalDescriptor && d[0] >= 7) {
                out.attributes = d[2];
                out.detachTimeoutMs = static_cast<std::uint16_t>(d[3] | (d[4] << 8));
                out.transferSize = static_cast<std::uint16_t>(d[5] | (d[6] << 8));
                out.dfuVersion =
                    d[0] >= 9 ? static_cast<std::uint16_t>(d[7] | (d[8] << 8)) : 0x0100;
                return true;
            }
        }
        return false;
    }

    UsbResult Control(const UsbSetup& setup, std::uint8_t* data,
                      std::size_t& transferred) override {
        WINUSB_SETUP_PACKET packet{};
        packet.RequestType = setup.requestType;
        packet.Request = setup.request;
        packet.Value = setup.value;
        packet.Index = setup.index;
        packet.Length = setup.length;
        ULONG got = 0;
        transferred = 0;
        if (usb_ == nullptr) return UsbResult::gone;
        if (WinUsb_ControlTransfer(usb_, packet, data, setup.length, &got, nullptr)) {
            transferred = got;
            return UsbResult::ok;
        }
        switch (GetLastError()) {
            case ERROR_GEN_FAILURE:  // the device stalled the control pipe
                return UsbResult::stall;
            case ERROR_DEVICE_NOT_CONNECTED:
            case ERROR_BAD_COMMAND:
            case ERROR_FILE_NOT_FOUND:
            case kErrorNoSuchDevice:
            case ERROR_DEV_NOT_EXIST:
                return UsbResult::gone;
            default:
                return UsbResult::error;
        }
    }

    // WinUSB offers no port reset; restarting the device node makes the device enumerate
    // again, which is what DFU needs of a reset here. Our own open handles would veto the
    // restart, so they are closed first: after a reset this object reads as gone and the
    // engine opens the re-enumerated device anew. The node restarted is the USB device itself,
    // also when WinUSB serves one function (&MI_xx) of a composite device.
    UsbResult Reset() override {
        Close();
        if (instanceId_.empty()) return UsbResult::error;
        DEVINST node = 0;
        if (CM_Locate_DevNodeW(&node, const_cast<wchar_t*>(instanceId_.c_str()),
                               CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
            return UsbResult::gone;
        }
        DEVINST parent = 0;
        if (ContainsNoCase(instanceId_, L"&MI_") && CM_Get_Parent(&parent, node, 0) == CR_SUCCESS) {
            node = parent;
        }
        if (CM_Disable_DevNode(node, CM_DISABLE_UI_NOT_OK) != CR_SUCCESS) return UsbResult::error;
        // A device left disabled could not be reached again until re-enabled by hand.
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (CM_Enable_DevNode(node, 0) == CR_SUCCESS) return UsbResult::ok;
            ::Sleep(200);
        }
        return UsbResult::error;
    }

    void SetInstanceId(std::wstring id) { instanceId_ = std::move(id); }

  private:
    void Close() {
        if (usb_ != nullptr) WinUsb_Free(usb_);
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
        usb_ = nullptr;
        file_ = INVALID_HANDLE_VALUE;
    }

    HANDLE file_;
    WINUSB_INTERFACE_HANDLE usb_;
    std::wstring instanceId_;
};

struct Found {
    std::wstring path;
    std::wstring instanceId;
};

std::vector<Found> FindDfuDevices() {
    std::vector<Found> found;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return found;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        if (!ContainsNoCase(RegistryText(set, info, SPDRP_SERVICE), L"WINUSB")) continue;
        const std::wstring ids = RegistryText(set, info, SPDRP_COMPATIBLEIDS);
        if (!ContainsNoCase(ids, L"CLASS_FE&SUBCLASS_01")) continue;
        wchar_t instance[512] = {};
        if (!SetupDiGetDeviceInstanceIdW(set, &info, instance, 511, nullptr)) continue;
        for (const GUID& guid : InterfaceGuids(set, info)) {
            for (auto& path : InterfacePaths(guid, instance)) {
                // A GUID registered under both value names gives the same path twice.
                const bool known = std::any_of(found.begin(), found.end(),
                                               [&](const Found& f) { return f.path == path; });
                if (!known) found.push_back({path, instance});
            }
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

class WinUsbBackend : public Backend {
  public:
    void List(std::vector<std::wstring>& names) override {
        for (const auto& f : FindDfuDevices()) names.push_back(f.path);
    }

    std::unique_ptr<UsbDevice> Open(const std::wstring& name) override {
        for (const auto& f : FindDfuDevices()) {
            if (f.path != name) continue;
            HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
            if (file == INVALID_HANDLE_VALUE) return nullptr;
            WINUSB_INTERFACE_HANDLE usb = nullptr;
            if (!WinUsb_Initialize(file, &usb)) {
                CloseHandle(file);
                return nullptr;
            }
            auto device = std::make_unique<WinUsbDevice>(file, usb);
            device->SetInstanceId(f.instanceId);
            return device;
        }
        return nullptr;
    }
};

}  // namespace

std::unique_ptr<Backend> MakeWinUsbBackend() {
    return std::make_unique<WinUsbBackend>();
}

}  // namespace dfuengine
