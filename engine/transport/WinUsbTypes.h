// The Windows types and constants the WinUSB back end uses.
//
// On Windows they come from the SDK headers. In the portable build this header defines the same
// names with the same values and layouts, so that the back end's logic builds and runs natively
// against a model of Windows. Only what the back end needs is here; add a name when it is
// needed, always with the value Windows gives it.
#pragma once

#ifdef _WIN32

// windows.h comes first.
// clang-format off
#include <windows.h>
#include <winioctl.h>
#include <cfgmgr32.h>
#include <setupapi.h>
#include <usbioctl.h>
#include <usbiodef.h>
#include <winusb.h>
// clang-format on

#else

#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned char UCHAR;
typedef std::uint16_t USHORT;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::uint32_t ULONG;
typedef std::int32_t LONG;
typedef LONG LSTATUS;
typedef wchar_t WCHAR;
typedef const wchar_t* PCWSTR;
typedef wchar_t* PWSTR;
typedef void* HANDLE;
typedef void* PVOID;
typedef void* LPVOID;
typedef std::uintptr_t ULONG_PTR;
typedef DWORD REGSAM;
typedef ULONG DEVINST;
typedef DWORD CONFIGRET;
struct HWND__;
typedef HWND__* HWND;
struct HKEY__;
typedef HKEY__* HKEY;
typedef void* HDEVINFO;
typedef void* WINUSB_INTERFACE_HANDLE;
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

// Errors (winerror.h).
#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_BAD_COMMAND 22L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_DEV_NOT_EXIST 55L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_SEM_TIMEOUT 121L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#define ERROR_NOT_FOUND 1168L
#define ERROR_BAD_DEVICE 1200L

// Files (winbase.h, winnt.h).
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_OVERLAPPED 0x40000000u

// Registry (winnt.h, winreg.h).
#define REG_SZ 1u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u
#define KEY_READ 0x20019u

// Device setup (setupapi.h).
#define DIGCF_PRESENT 0x00000002u
#define DIGCF_ALLCLASSES 0x00000004u
#define DIGCF_DEVICEINTERFACE 0x00000010u
#define SPDRP_HARDWAREID 0x00000001u
#define SPDRP_COMPATIBLEIDS 0x00000002u
#define SPDRP_SERVICE 0x00000004u
#define SPDRP_ADDRESS 0x0000001Cu
#define DICS_FLAG_GLOBAL 0x00000001u
#define DIREG_DEV 0x00000001u

struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};
typedef SP_DEVINFO_DATA* PSP_DEVINFO_DATA;

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
};
typedef SP_DEVICE_INTERFACE_DATA* PSP_DEVICE_INTERFACE_DATA;

struct SP_DEVICE_INTERFACE_DETAIL_DATA_W {
    DWORD cbSize;
    WCHAR DevicePath[1];
};
typedef SP_DEVICE_INTERFACE_DETAIL_DATA_W* PSP_DEVICE_INTERFACE_DETAIL_DATA_W;

// Configuration manager (cfgmgr32.h).
#define CR_SUCCESS 0x00000000u
#define CR_INVALID_DEVNODE 0x00000005u
#define CR_NO_SUCH_DEVNODE 0x0000000Du
#define CR_REMOVE_VETOED 0x00000017u
#define CR_BUFFER_SMALL 0x0000001Au
#define CR_ACCESS_DENIED 0x00000033u
#define CM_LOCATE_DEVNODE_NORMAL 0x00000000u
#define CM_DISABLE_UI_NOT_OK 0x00000004u

// USB (usbspec.h, usbioctl.h, winusbio.h).
#define USB_DEVICE_DESCRIPTOR_TYPE 0x01
#define USB_CONFIGURATION_DESCRIPTOR_TYPE 0x02
#define PIPE_TRANSFER_TIMEOUT 0x03u
// CTL_CODE(FILE_DEVICE_USB, USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION, METHOD_BUFFERED, ...)
#define IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION 0x00220410u
// CTL_CODE(FILE_DEVICE_USB, USB_HUB_CYCLE_PORT, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_USB_HUB_CYCLE_PORT 0x00220444u

#pragma pack(push, 1)
struct WINUSB_SETUP_PACKET {
    UCHAR RequestType;
    UCHAR Request;
    USHORT Value;
    USHORT Index;
    USHORT Length;
};

struct USB_INTERFACE_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    UCHAR bInterfaceNumber;
    UCHAR bAlternateSetting;
    UCHAR bNumEndpoints;
    UCHAR bInterfaceClass;
    UCHAR bInterfaceSubClass;
    UCHAR bInterfaceProtocol;
    UCHAR iInterface;
};
typedef USB_INTERFACE_DESCRIPTOR* PUSB_INTERFACE_DESCRIPTOR;

// The request of IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION; the descriptor follows it.
struct USB_DESCRIPTOR_REQUEST {
    ULONG ConnectionIndex;
    struct {
        UCHAR bmRequest;
        UCHAR bRequest;
        USHORT wValue;
        USHORT wIndex;
        USHORT wLength;
    } SetupPacket;
    UCHAR Data[1];
};
#pragma pack(pop)

struct USB_CYCLE_PORT_PARAMS {
    ULONG ConnectionIndex;
    ULONG StatusReturned;
};

#endif

// Not named by every SDK's headers.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif
