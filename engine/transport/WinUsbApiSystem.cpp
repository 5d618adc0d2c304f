// The seam's Windows side: each call goes to the real function, nothing more. All logic lives
// in the back end above it, where the tests run it against a model of Windows.
#include "WinUsbApi.h"

namespace dfuengine {
namespace {

class SystemApi : public WinUsbApi {
  public:
    DWORD GetLastError() override { return ::GetLastError(); }

    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                  DWORD flags) override {
        return ::SetupDiGetClassDevsW(classGuid, enumerator, parent, flags);
    }
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info) override {
        return ::SetupDiEnumDeviceInfo(set, index, info);
    }
    BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA info, PWSTR id, DWORD size,
                                     DWORD* required) override {
        return ::SetupDiGetDeviceInstanceIdW(set, info, id, size, required);
    }
    BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA info, DWORD property,
                                           DWORD* type, BYTE* buffer, DWORD size,
                                           DWORD* required) override {
        return ::SetupDiGetDeviceRegistryPropertyW(set, info, property, type, buffer, size,
                                                   required);
    }
    HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA info, DWORD scope, DWORD profile,
                              DWORD keyType, REGSAM access) override {
        return ::SetupDiOpenDevRegKey(set, info, scope, profile, keyType, access);
    }
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* interfaceGuid,
                                     DWORD index, PSP_DEVICE_INTERFACE_DATA data) override {
        return ::SetupDiEnumDeviceInterfaces(set, info, interfaceGuid, index, data);
    }
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                          DWORD* required, PSP_DEVINFO_DATA info) override {
        return ::SetupDiGetDeviceInterfaceDetailW(set, data, detail, size, required, info);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override {
        return ::SetupDiDestroyDeviceInfoList(set);
    }

    LSTATUS RegQueryValueExW(HKEY key, PCWSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                             DWORD* size) override {
        return ::RegQueryValueExW(key, name, reserved, type, data, size);
    }
    LSTATUS RegCloseKey(HKEY key) override { return ::RegCloseKey(key); }

    CONFIGRET CM_Locate_DevNodeW(DEVINST* node, PWSTR id, ULONG flags) override {
        return ::CM_Locate_DevNodeW(node, id, flags);
    }
    CONFIGRET CM_Get_Parent(DEVINST* parent, DEVINST node, ULONG flags) override {
        return ::CM_Get_Parent(parent, node, flags);
    }
    CONFIGRET CM_Get_Device_IDW(DEVINST node, PWSTR buffer, ULONG size, ULONG flags) override {
        return ::CM_Get_Device_IDW(node, buffer, size, flags);
    }
    CONFIGRET CM_Disable_DevNode(DEVINST node, ULONG flags) override {
        return ::CM_Disable_DevNode(node, flags);
    }
    CONFIGRET CM_Enable_DevNode(DEVINST node, ULONG flags) override {
        return ::CM_Enable_DevNode(node, flags);
    }

    HANDLE CreateFileW(PCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                       DWORD disposition, DWORD flags, HANDLE templateFile) override {
        return ::CreateFileW(name, access, share, security, disposition, flags, templateFile);
    }
    BOOL CloseHandle(HANDLE handle) override { return ::CloseHandle(handle); }
    BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                         DWORD outSize, DWORD* returned, LPOVERLAPPED overlapped) override {
        return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
    }

    BOOL WinUsb_Initialize(HANDLE file, WINUSB_INTERFACE_HANDLE* usb) override {
        return ::WinUsb_Initialize(file, usb);
    }
    BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE usb) override { return ::WinUsb_Free(usb); }
    BOOL WinUsb_GetAssociatedInterface(WINUSB_INTERFACE_HANDLE usb, UCHAR index,
                                       WINUSB_INTERFACE_HANDLE* associated) override {
        return ::WinUsb_GetAssociatedInterface(usb, index, associated);
    }
    BOOL WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE usb, UCHAR alternate,
                                       PUSB_INTERFACE_DESCRIPTOR descriptor) override {
        return ::WinUsb_QueryInterfaceSettings(usb, alternate, descriptor);
    }
    BOOL WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE usb, UCHAR type, UCHAR index, USHORT language,
                              UCHAR* buffer, ULONG size, ULONG* transferred) override {
        return ::WinUsb_GetDescriptor(usb, type, index, language, buffer, size, transferred);
    }
    BOOL WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, ULONG policy, ULONG size,
                              PVOID value) override {
        return ::WinUsb_SetPipePolicy(usb, pipe, policy, size, value);
    }
    BOOL WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE usb, WINUSB_SETUP_PACKET setup,
                                UCHAR* buffer, ULONG size, ULONG* transferred,
                                LPOVERLAPPED overlapped) override {
        return ::WinUsb_ControlTransfer(usb, setup, buffer, size, transferred, overlapped);
    }

    bool RunsAsAdministrator() override {
        // The Administrators group counts only while enabled in the token: an administrator
        // whom UAC runs unelevated is a standard user here, as Windows treats him.
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof sid;
        BOOL member = FALSE;
        if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size)) return false;
        return ::CheckTokenMembership(nullptr, sid, &member) && member;
    }

    bool IsWindows8OrLater() override {
        OSVERSIONINFOEXW version{};
        version.dwOSVersionInfoSize = sizeof version;
        version.dwMajorVersion = 6;
        version.dwMinorVersion = 2;
        DWORDLONG mask = 0;
        mask = ::VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
        mask = ::VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
        return ::VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION, mask) != FALSE;
    }
};

}  // namespace

WinUsbApi* SystemWinUsbApi() {
    static SystemApi api;
    return &api;
}

}  // namespace dfuengine
