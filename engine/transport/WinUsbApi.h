// The seam under the WinUSB back end: every Windows function it calls (device setup, the
// configuration manager, the registry, files, hub requests, WinUSB, rights and version), as one
// small interface with the functions' own names, parameters and documented behaviour.
//
// WinUsbApiSystem.cpp passes each call to the real function on Windows. Tests give the back
// end a model of Windows instead (DFUEngineLocal.h: UseWinUsbApi), so that its logic runs for
// real on every platform. The last-error value is part of the seam: a function that fails sets
// what GetLastError then returns, as Windows does (per thread).
#pragma once

#include "WinUsbTypes.h"

namespace dfuengine {

class WinUsbApi {
  public:
    virtual ~WinUsbApi() = default;

    virtual DWORD GetLastError() = 0;

    // Device setup (setupapi.h).
    virtual HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                          DWORD flags) = 0;
    virtual BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info) = 0;
    virtual BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA info, PWSTR id,
                                             DWORD size, DWORD* required) = 0;
    virtual BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA info,
                                                   DWORD property, DWORD* type, BYTE* buffer,
                                                   DWORD size, DWORD* required) = 0;
    virtual HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA info, DWORD scope,
                                      DWORD profile, DWORD keyType, REGSAM access) = 0;
    virtual BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info,
                                             const GUID* interfaceGuid, DWORD index,
                                             PSP_DEVICE_INTERFACE_DATA data) = 0;
    virtual BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                  DWORD size, DWORD* required,
                                                  PSP_DEVINFO_DATA info) = 0;
    virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) = 0;

    // Registry (winreg.h).
    virtual LSTATUS RegQueryValueExW(HKEY key, PCWSTR name, DWORD* reserved, DWORD* type,
                                     BYTE* data, DWORD* size) = 0;
    virtual LSTATUS RegCloseKey(HKEY key) = 0;

    // Configuration manager (cfgmgr32.h).
    virtual CONFIGRET CM_Locate_DevNodeW(DEVINST* node, PWSTR id, ULONG flags) = 0;
    virtual CONFIGRET CM_Get_Parent(DEVINST* parent, DEVINST node, ULONG flags) = 0;
    virtual CONFIGRET CM_Get_Device_IDW(DEVINST node, PWSTR buffer, ULONG size, ULONG flags) = 0;
    virtual CONFIGRET CM_Disable_DevNode(DEVINST node, ULONG flags) = 0;
    virtual CONFIGRET CM_Enable_DevNode(DEVINST node, ULONG flags) = 0;

    // Files and device requests (fileapi.h, ioapiset.h).
    virtual HANDLE CreateFileW(PCWSTR name, DWORD access, DWORD share,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE templateFile) = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    virtual BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                 DWORD outSize, DWORD* returned, LPOVERLAPPED overlapped) = 0;

    // WinUSB (winusb.h).
    virtual BOOL WinUsb_Initialize(HANDLE file, WINUSB_INTERFACE_HANDLE* usb) = 0;
    virtual BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE usb) = 0;
    virtual BOOL WinUsb_GetAssociatedInterface(WINUSB_INTERFACE_HANDLE usb, UCHAR index,
                                               WINUSB_INTERFACE_HANDLE* associated) = 0;
    virtual BOOL WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE usb, UCHAR alternate,
                                               PUSB_INTERFACE_DESCRIPTOR descriptor) = 0;
    virtual BOOL WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE usb, UCHAR type, UCHAR index,
                                      USHORT language, UCHAR* buffer, ULONG size,
                                      ULONG* transferred) = 0;
    virtual BOOL WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, ULONG policy,
                                      ULONG size, PVOID value) = 0;
    virtual BOOL WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE usb, WINUSB_SETUP_PACKET setup,
                                        UCHAR* buffer, ULONG size, ULONG* transferred,
                                        LPOVERLAPPED overlapped) = 0;

    // Rights and version: whether the process runs with the Administrators group in its token
    // (CheckTokenMembership: an elevated administrator), and whether Windows is 8 or later
    // (VerifyVersionInfoW).
    virtual bool RunsAsAdministrator() = 0;
    virtual bool IsWindows8OrLater() = 0;
};

// The real functions; null where the platform has no WinUSB.
WinUsbApi* SystemWinUsbApi();

}  // namespace dfuengine
