// A model of Windows as the WinUSB back end meets it: the USB device tree, the device setup
// functions, the configuration manager, the registry, files and hub requests, and WinUSB. It
// implements the back end's seam (WinUsbApi), and simulated DFU devices (qvdfu::DfuDevice) sit on
// its hub ports, so that the engine's real back end lists, opens, transfers to, resets and finds
// again devices through it.
//
// Each rule it follows is Windows' documented behaviour; the comment at each rule names the
// Microsoft page it comes from (docs/dfu-engine.md lists them all). It runs as a standard user on
// Windows 8 or later unless told otherwise.
//
// Thread-safe: one lock over the whole model (a hung transfer waits outside it).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "DfuDevice.h"
#include "transport/WinUsbApi.h"

namespace winusbmodel {

struct ModelOptions {
    bool administrator = false;   // an elevated administrator, else a standard user
    bool windows8OrLater = true;  // else Windows 7
};

class WindowsModel : public dfuengine::WinUsbApi {
  public:
    using Options = ModelOptions;

    explicit WindowsModel(Options options = Options{});
    ~WindowsModel() override;
    WindowsModel(const WindowsModel&) = delete;
    WindowsModel& operator=(const WindowsModel&) = delete;

    // --- The machine, as a test sets it up -----------------------------------------------
    static constexpr int kRootHub = 0;
    // Adds a hub on a port of another hub; its number is returned.
    int AddHub(int parentHub, int port);
    // Plugs a simulated device into a hub port (not owned; it must outlive its plugging).
    void Plug(qvdfu::DfuDevice& device, int hub, int port);
    void Unplug(qvdfu::DfuDevice& device);
    // The device enumerates on another port the next time it enumerates.
    void MoveOnNextEnumeration(qvdfu::DfuDevice& device, int hub, int port);
    // A driver package (INF) that binds WinUSB by hardware ID: USB\VID_v&PID_p for the whole
    // device (function -1), or USB\VID_v&PID_p&MI_ff for one function; it registers `guid`.
    void InstallWinUsbPackage(std::uint16_t vendor, std::uint16_t product, int function,
                              const std::string& guid);
    // Control transfers to the device stop being answered after `answered` more of them.
    void HangAfter(qvdfu::DfuDevice& device, unsigned answered);
    // Another program holds the device's WinUSB interface open.
    void HoldByAnotherProgram(qvdfu::DfuDevice& device, bool held);
    // How a transfer to a device that has left the bus fails: ERROR_GEN_FAILURE (its node is
    // gone by then), ERROR_DEVICE_NOT_CONNECTED or ERROR_NO_SUCH_DEVICE.
    void SetGoneError(DWORD error);
    void SetAdministrator(bool administrator);

    // --- Observation ---------------------------------------------------------------------
    unsigned CyclePortRequests();   // IOCTL_USB_HUB_CYCLE_PORT that reset a device
    unsigned NodeRestarts();        // CM_Enable_DevNode after CM_Disable_DevNode
    unsigned RefusedResets();       // either of them refused for want of rights
    ULONG LargestControlBuffer();   // the largest BufferLength WinUsb_ControlTransfer met
    unsigned OversizedTransfers();  // WinUsb_ControlTransfer refused for over 4096 bytes
    unsigned OpenDeviceFiles();     // device handles (CreateFileW) open now
    ULONG ControlTimeout();         // PIPE_TRANSFER_TIMEOUT last set on a control pipe
    // The instance IDs of the present nodes of a device (device node first), and their
    // services.
    std::vector<std::wstring> NodesOf(qvdfu::DfuDevice& device);
    std::wstring ServiceOf(const std::wstring& instanceId);

    // --- WinUsbApi -------------------------------------------------------------------------
    DWORD GetLastError() override;
    HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent,
                                  DWORD flags) override;
    BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info) override;
    BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, PSP_DEVINFO_DATA info, PWSTR id, DWORD size,
                                     DWORD* required) override;
    BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, PSP_DEVINFO_DATA info, DWORD property,
                                           DWORD* type, BYTE* buffer, DWORD size,
                                           DWORD* required) override;
    HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA info, DWORD scope, DWORD profile,
                              DWORD keyType, REGSAM access) override;
    BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* interfaceGuid,
                                     DWORD index, PSP_DEVICE_INTERFACE_DATA data) override;
    BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                          PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                          DWORD* required, PSP_DEVINFO_DATA info) override;
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) override;
    LSTATUS RegQueryValueExW(HKEY key, PCWSTR name, DWORD* reserved, DWORD* type, BYTE* data,
                             DWORD* size) override;
    LSTATUS RegCloseKey(HKEY key) override;
    CONFIGRET CM_Locate_DevNodeW(DEVINST* node, PWSTR id, ULONG flags) override;
    CONFIGRET CM_Get_Parent(DEVINST* parent, DEVINST node, ULONG flags) override;
    CONFIGRET CM_Get_Device_IDW(DEVINST node, PWSTR buffer, ULONG size, ULONG flags) override;
    CONFIGRET CM_Disable_DevNode(DEVINST node, ULONG flags) override;
    CONFIGRET CM_Enable_DevNode(DEVINST node, ULONG flags) override;
    HANDLE CreateFileW(PCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                       DWORD disposition, DWORD flags, HANDLE templateFile) override;
    BOOL CloseHandle(HANDLE handle) override;
    BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                         DWORD outSize, DWORD* returned, LPOVERLAPPED overlapped) override;
    BOOL WinUsb_Initialize(HANDLE file, WINUSB_INTERFACE_HANDLE* usb) override;
    BOOL WinUsb_Free(WINUSB_INTERFACE_HANDLE usb) override;
    BOOL WinUsb_GetAssociatedInterface(WINUSB_INTERFACE_HANDLE usb, UCHAR index,
                                       WINUSB_INTERFACE_HANDLE* associated) override;
    BOOL WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE usb, UCHAR alternate,
                                       PUSB_INTERFACE_DESCRIPTOR descriptor) override;
    BOOL WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE usb, UCHAR type, UCHAR index, USHORT language,
                              UCHAR* buffer, ULONG size, ULONG* transferred) override;
    BOOL WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, ULONG policy, ULONG size,
                              PVOID value) override;
    BOOL WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE usb, WINUSB_SETUP_PACKET setup,
                                UCHAR* buffer, ULONG size, ULONG* transferred,
                                LPOVERLAPPED overlapped) override;
    bool RunsAsAdministrator() override;
    bool IsWindows8OrLater() override;

  private:
    // A node of the device tree (a hub, a USB device, or one function of a composite device).
    struct Node {
        DEVINST devinst = 0;
        DEVINST parent = 0;
        std::wstring instanceId;
        std::wstring service;  // empty: no driver
        std::vector<std::wstring> hardwareIds;
        std::vector<std::wstring> compatibleIds;
        DWORD address = 0;
        int hub = -1;      // for a hub node: its number
        int plugged = -1;  // for a device or function node: the plugging it belongs to
        unsigned long generation = 0;
        std::vector<std::uint8_t> interfaces;      // WinUSB: the node's interfaces, first first
        std::vector<std::wstring> interfaceGuids;  // Device Parameters\DeviceInterfaceGUIDs
        // Device interfaces registered for the node: class GUID text -> path.
        std::vector<std::pair<std::wstring, std::wstring>> deviceInterfaces;
    };

    struct Hub {
        int parentHub = -1;
        int port = 0;
        DEVINST devinst = 0;
    };

    struct Plugging {
        qvdfu::DfuDevice* device = nullptr;
        int hub = 0;
        int port = 0;
        int nextHub = -1;
        int nextPort = 0;
        bool present = false;
        bool disabled = false;
        bool heldElsewhere = false;
        unsigned long seenEnumeration = 0;
        unsigned long generation = 0;  // grows with each enumeration the model makes
        long answersLeft = -1;         // -1: never hangs
        std::vector<std::uint8_t> configuration;
    };

    struct Package {
        std::uint16_t vendor;
        std::uint16_t product;
        int function;
        std::wstring guid;
    };

    struct DeviceSet {
        bool interfaces = false;
        std::vector<DEVINST> nodes;                                   // device elements
        std::vector<std::pair<DEVINST, std::wstring>> interfaceList;  // node, path
        std::vector<Node> snapshot;  // the elements' nodes as they were when listed
    };

    struct File {
        bool hub = false;
        int hubNumber = -1;
        DEVINST node = 0;
        int plugged = -1;
        unsigned long generation = 0;
        bool overlapped = false;
        bool initialized = false;
    };

    struct UsbHandle {
        std::uintptr_t file = 0;
        std::size_t place = 0;  // in the node's interfaces
        bool first = false;
        std::set<std::size_t> associated;  // places handed out from this first handle
        std::uintptr_t parent = 0;         // the first handle an associated one came from
    };

    // Tree (WinUsbModelTree.cpp).
    void RefreshLocked();
    void EnumerateLocked(int plugging);
    void RemoveNodesLocked(int plugging);
    DEVINST AddNodeLocked(Node node);
    void AddHubNodeLocked(int number);
    std::wstring HubInstanceIdLocked(int number);
    int PluggingOf(qvdfu::DfuDevice& device);
    int PluggingAtLocked(int hub, int port);
    Node* NodeLocked(DEVINST devinst);
    Node* NodeByIdLocked(const std::wstring& instanceId);
    qvdfu::Transfer DeviceRequestLocked(int plugging, const qvdfu::Setup& setup, std::uint8_t* data,
                                        std::size_t& transferred);
    bool ReadDescriptorLocked(int plugging, std::uint8_t type, std::uint8_t index,
                              std::uint16_t language, std::size_t length,
                              std::vector<std::uint8_t>& out);

    // Whether the caller may change the node's state (WinUsbModelSetup.cpp).
    CONFIGRET StateChangeLocked(DEVINST node, Node*& found);

    // I/O helpers (WinUsbModelIo.cpp).
    UsbHandle* UsbLocked(WINUSB_INTERFACE_HANDLE usb);
    // Whether the handle's device is still the one it was opened on; sets the error if not.
    bool DeviceThereLocked(const File& file);

    BOOL Fail(DWORD error);
    template <typename T>
    T FailWith(DWORD error, T value) {
        Fail(error);
        return value;
    }

    std::mutex mutex_;
    Options options_;
    DWORD goneError_;
    std::vector<Hub> hubs_;
    std::vector<Plugging> pluggings_;
    std::vector<Package> packages_;
    std::map<DEVINST, Node> nodes_;
    DEVINST nextDevinst_ = 100;
    std::map<std::uintptr_t, DeviceSet> sets_;
    std::map<std::uintptr_t,
             std::vector<std::pair<std::wstring, std::pair<DWORD, std::vector<BYTE>>>>>
        keys_;
    std::map<std::uintptr_t, File> files_;
    std::map<std::uintptr_t, UsbHandle> usbHandles_;
    std::uintptr_t nextHandle_ = 0x1000;
    std::map<std::uintptr_t, ULONG> timeouts_;  // per WinUSB handle, PIPE_TRANSFER_TIMEOUT

    unsigned cyclePorts_ = 0;
    unsigned nodeRestarts_ = 0;
    unsigned refusedResets_ = 0;
    ULONG largestBuffer_ = 0;
    unsigned oversized_ = 0;
    ULONG lastTimeout_ = 0;
};

// The interface path WinUSB registers for a node: \\?\ + the instance ID with '#' for '\', then
// '#' and the interface class GUID, in lower case.
std::wstring InterfacePath(const std::wstring& instanceId, const std::wstring& guid);

}  // namespace winusbmodel
