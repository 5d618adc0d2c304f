// Back end for real devices on Windows: DFU interfaces of USB devices, opened through WinUSB.
// All of it runs against WinUsbApi, so that the tests drive it through a model of Windows.
//
// Listing: every present node with a DFU interface (the device, or one function of a composite
// device), whatever its driver; a node WinUSB serves is named by its device interface path, any
// other by its instance ID (it is listed so that the missing driver can be named, and cannot be
// opened).
//
// WinUSB rules this file keeps (the Microsoft pages are cited in docs/dfu-engine.md):
// - one handle per device: every handle is released before the device is reset, and an open
//   that another program blocks says so;
// - a control transfer carries at most 4096 bytes; longer ones are refused here, and the steps
//   use shorter DNLOAD/UPLOAD blocks (MaxControlLength);
// - the handle from WinUsb_Initialize reaches the node's first interface only; the DFU interface
//   further on is reached through WinUsb_GetAssociatedInterface;
// - ERROR_GEN_FAILURE is a stall while the device's node is present, and the device gone once it
//   is not;
// - the control pipe gets an explicit time-out after each WinUsb_Initialize (which resets the
//   policies), so that a hung device cannot block the engine for ever;
// - a reset only with the rights to it: as administrator IOCTL_USB_HUB_CYCLE_PORT on Windows 8
//   and later, else the device-node restart; as a standard user none (the device must start its
//   new firmware by itself, or be plugged in again).
#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "../Trace.h"
#include "DFUEngineLocal.h"
#include "Transport.h"
#include "UsbConfigDescriptor.h"
#include "WinUsbDeviceTree.h"

namespace dfuengine {
namespace {

constexpr std::size_t kMaxControl = 4096;  // WinUsb_ControlTransfer's buffer limit
constexpr UCHAR kDefaultPipe = 0x00;

std::wstring ErrorText(DWORD error) {
    return L"error " + std::to_wstring(error);
}

// "USB\VID_1209&PID_4B58", as Windows names the device's hardware.
std::wstring HardwareId(std::uint16_t vendor, std::uint16_t product) {
    const std::wstring ids = UsbIdText(vendor, product);  // "1209:4B58"
    return L"USB\\VID_" + ids.substr(0, 4) + L"&PID_" + ids.substr(5, 4);
}

// The devices this back end holds open, so that a second engine of this process asking for one
// hears that it is busy rather than an access error.
class OpenSet {
  public:
    bool Add(const std::wstring& id) {
        std::lock_guard<std::mutex> lock(mutex_);
        return ids_.insert(id).second;
    }
    void Remove(const std::wstring& id) {
        std::lock_guard<std::mutex> lock(mutex_);
        ids_.erase(id);
    }

  private:
    std::mutex mutex_;
    std::set<std::wstring> ids_;
};

// An opened DFU interface.
class WinUsbDevice : public UsbDevice {
  public:
    WinUsbDevice(WinUsbApi& api, std::shared_ptr<OpenSet> open, DfuNode node, HANDLE file,
                 WINUSB_INTERFACE_HANDLE first, WINUSB_INTERFACE_HANDLE dfu,
                 std::vector<std::uint8_t> interfaces)
        : api_(api),
          open_(std::move(open)),
          node_(std::move(node)),
          file_(file),
          first_(first),
          dfu_(dfu),
          interfaces_(std::move(interfaces)) {}
    ~WinUsbDevice() override { Close(); }
    WinUsbDevice(const WinUsbDevice&) = delete;
    WinUsbDevice& operator=(const WinUsbDevice&) = delete;

    bool Describe(DfuDescription& out) override {
        if (first_ == nullptr) return false;
        UCHAR device[18] = {};
        ULONG got = 0;
        if (!api_.WinUsb_GetDescriptor(first_, USB_DEVICE_DESCRIPTOR_TYPE, 0, 0, device,
                                       sizeof device, &got) ||
            got < sizeof device) {
            return false;
        }
        std::vector<std::uint8_t> config;
        if (!Configuration(api_, first_, config)) return false;
        out.vendor = static_cast<std::uint16_t>(device[8] | (device[9] << 8));
        out.product = static_cast<std::uint16_t>(device[10] | (device[11] << 8));
        out.release = static_cast<std::uint16_t>(device[12] | (device[13] << 8));
        return FindDfuInterface(config.data(), config.size(), interfaces_, out);
    }

    UsbResult Control(const UsbSetup& setup, std::uint8_t* data,
                      std::size_t& transferred) override {
        transferred = 0;
        if (dfu_ == nullptr) return UsbResult::gone;
        if (setup.length > kMaxControl) {
            Trace(L"control transfer of " + std::to_wstring(setup.length) +
                  L" bytes refused: WinUSB carries at most 4096");
            return UsbResult::error;
        }
        WINUSB_SETUP_PACKET packet{};
        packet.RequestType = setup.requestType;
        packet.Request = setup.request;
        packet.Value = setup.value;
        packet.Index = setup.index;
        packet.Length = setup.length;
        ULONG got = 0;
        if (api_.WinUsb_ControlTransfer(dfu_, packet, data, setup.length, &got, nullptr)) {
            transferred = std::min<std::size_t>(got, setup.length);
            return UsbResult::ok;
        }
        const DWORD error = api_.GetLastError();
        switch (error) {
            case ERROR_GEN_FAILURE:
                // A stall, unless the device has gone and taken its node with it.
                return NodePresent(api_, node_.instanceId) ? UsbResult::stall : UsbResult::gone;
            case ERROR_DEVICE_NOT_CONNECTED:
            case ERROR_NO_SUCH_DEVICE:
            case ERROR_BAD_COMMAND:
            case ERROR_FILE_NOT_FOUND:
            case ERROR_DEV_NOT_EXIST:
                return UsbResult::gone;
            case ERROR_SEM_TIMEOUT:
                Trace(L"no answer from " + UsbIdText(node_.device.vendor, node_.device.product) +
                      L" within " + std::to_wstring(GetEngineTiming().controlTimeoutMs) +
                      L" ms: the control transfer was cancelled");
                return UsbResult::error;
            default:
                return UsbResult::error;
        }
    }

    UsbResult Reset() override {
        // The device is about to re-enumerate: this object reads as gone from now on, and a
        // node restart would be vetoed by our own handles.
        Close();
        const std::wstring who = UsbIdText(node_.device.vendor, node_.device.product);
        if (!api_.RunsAsAdministrator()) {
            Trace(L"reset of " + who +
                  L" not done: a standard user may not reset a USB device on Windows");
            return UsbResult::refused;
        }
        if (api_.IsWindows8OrLater()) {
            if (CyclePort()) {
                Trace(L"reset of " + who + L": port " + std::to_wstring(node_.device.port) +
                      L" of its hub cycled");
                return UsbResult::ok;
            }
            Trace(L"reset of " + who + L": cycling its hub port failed (" +
                  ErrorText(api_.GetLastError()) + L"), restarting its device node instead");
        }
        return RestartNode(who);
    }

    std::size_t MaxControlLength() const override { return kMaxControl; }
    std::wstring Location() const override { return node_.device.Location(); }

    // The device's whole configuration descriptor set, read over the handle.
    static bool Configuration(WinUsbApi& api, WINUSB_INTERFACE_HANDLE usb,
                              std::vector<std::uint8_t>& config) {
        UCHAR head[9] = {};
        ULONG got = 0;
        if (!api.WinUsb_GetDescriptor(usb, USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0, head,
                                      sizeof head, &got) ||
            got < sizeof head) {
            return false;
        }
        const std::size_t total = std::min<std::size_t>(head[2] | (head[3] << 8), kMaxControl);
        if (total < sizeof head) return false;
        config.assign(total, 0);
        if (!api.WinUsb_GetDescriptor(usb, USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0, config.data(),
                                      static_cast<ULONG>(total), &got)) {
            return false;
        }
        config.resize(std::min<std::size_t>(got, total));
        return true;
    }

  private:
    bool CyclePort() {
        HANDLE hub = OpenHub(api_, node_.device.hubId);
        if (hub == INVALID_HANDLE_VALUE) return false;
        USB_CYCLE_PORT_PARAMS params{};
        params.ConnectionIndex = node_.device.port;
        DWORD returned = 0;
        const BOOL ok = api_.DeviceIoControl(hub, IOCTL_USB_HUB_CYCLE_PORT, &params, sizeof params,
                                             &params, sizeof params, &returned, nullptr);
        api_.CloseHandle(hub);
        return ok != FALSE;
    }

    // The device node restart, on the USB device itself (also when WinUSB serves one function
    // of it): disable, then enable, which makes the device enumerate again.
    UsbResult RestartNode(const std::wstring& who) {
        std::vector<wchar_t> id(node_.device.instanceId.begin(), node_.device.instanceId.end());
        id.push_back(L'\0');
        DEVINST devnode = 0;
        if (api_.CM_Locate_DevNodeW(&devnode, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
            return UsbResult::gone;
        }
        const CONFIGRET disabled = api_.CM_Disable_DevNode(devnode, CM_DISABLE_UI_NOT_OK);
        if (disabled != CR_SUCCESS) {
            Trace(L"reset of " + who + L": its device node could not be disabled (CONFIGRET " +
                  std::to_wstring(disabled) + L")");
            return disabled == CR_ACCESS_DENIED ? UsbResult::refused : UsbResult::error;
        }
        // A device left disabled could not be reached again until enabled by hand.
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (api_.CM_Enable_DevNode(devnode, 0) == CR_SUCCESS) {
                Trace(L"reset of " + who + L": device node restarted");
                return UsbResult::ok;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        Trace(L"reset of " + who +
              L": its device node stays disabled; enable it in Device "
              L"Manager or plug the device in again");
        return UsbResult::error;
    }

    void Close() {
        if (dfu_ != nullptr && dfu_ != first_) api_.WinUsb_Free(dfu_);
        if (first_ != nullptr) api_.WinUsb_Free(first_);
        if (file_ != INVALID_HANDLE_VALUE) {
            api_.CloseHandle(file_);
            open_->Remove(node_.instanceId);
        }
        dfu_ = first_ = nullptr;
        file_ = INVALID_HANDLE_VALUE;
    }

    WinUsbApi& api_;
    std::shared_ptr<OpenSet> open_;
    DfuNode node_;
    HANDLE file_;
    WINUSB_INTERFACE_HANDLE first_;
    WINUSB_INTERFACE_HANDLE dfu_;
    std::vector<std::uint8_t> interfaces_;  // the node's interfaces, first one first
};

class WinUsbBackend : public Backend {
  public:
    explicit WinUsbBackend(WinUsbApi& api) : api_(api), open_(std::make_shared<OpenSet>()) {}

    void List(std::vector<ListedDevice>& devices) override {
        for (const auto& node : FindDfuNodes(api_)) {
            devices.push_back({node.Name(), node.device.Location()});
        }
    }

    std::unique_ptr<UsbDevice> Open(const std::wstring& name, OpenFailure& failure) override {
        for (const auto& node : FindDfuNodes(api_)) {
            if (!SameName(node.interfacePath, name) && !SameName(node.instanceId, name)) {
                continue;
            }
            failure.vendor = node.device.vendor;
            failure.product = node.device.product;
            return OpenNode(node, failure);
        }
        return nullptr;
    }

    bool UsbDeviceAt(const std::wstring& location, std::uint16_t vendor) override {
        for (const auto& device : FindUsbDevices(api_)) {
            if (device.vendor == vendor && SameName(device.Location(), location)) return true;
        }
        return false;
    }

  private:
    std::unique_ptr<UsbDevice> OpenNode(const DfuNode& node, OpenFailure& failure) {
        if (!node.ServedByWinUsb()) {
            failure.problem = DFUEngine::open_no_driver;
            failure.detail = L"no WinUSB driver is bound to " +
                             HardwareId(node.device.vendor, node.device.product);
            if (!node.service.empty()) failure.detail += L" (its driver is " + node.service + L")";
            return nullptr;
        }
        if (node.interfacePath.empty()) {
            failure.problem = DFUEngine::open_failed;
            failure.detail = L"WinUSB serves " + node.instanceId +
                             L" but registered no device interface (DeviceInterfaceGUIDs)";
            return nullptr;
        }
        if (!open_->Add(node.instanceId)) {
            failure.problem = DFUEngine::open_busy;
            failure.detail = L"the device is already open in this program";
            return nullptr;
        }
        HANDLE file = api_.CreateFileW(node.interfacePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = api_.GetLastError();
            open_->Remove(node.instanceId);
            if (error == ERROR_SHARING_VIOLATION) {
                failure.problem = DFUEngine::open_busy;
                failure.detail =
                    L"the device is in use by another program (" + ErrorText(error) + L")";
            } else if (error == ERROR_ACCESS_DENIED) {
                failure.problem = DFUEngine::open_access_denied;
                failure.detail = L"access to the device was denied; another program may hold it (" +
                                 ErrorText(error) + L")";
            } else if (error == ERROR_FILE_NOT_FOUND) {
                failure.problem = DFUEngine::open_not_found;
                failure.detail = L"the device went away while it was opened";
            } else {
                failure.problem = DFUEngine::open_failed;
                failure.detail = L"CreateFileW failed (" + ErrorText(error) + L")";
            }
            return nullptr;
        }
        WINUSB_INTERFACE_HANDLE first = nullptr;
        WINUSB_INTERFACE_HANDLE dfu = nullptr;
        std::vector<std::uint8_t> interfaces;
        if (!InitializeDfu(node, file, first, dfu, interfaces, failure)) {
            if (first != nullptr) api_.WinUsb_Free(first);
            api_.CloseHandle(file);
            open_->Remove(node.instanceId);
            return nullptr;
        }
        // WinUsb_Initialize has reset the pipe policies: the control pipe's time-out is ours.
        ULONG timeout = GetEngineTiming().controlTimeoutMs;
        if (!api_.WinUsb_SetPipePolicy(dfu, kDefaultPipe, PIPE_TRANSFER_TIMEOUT, sizeof timeout,
                                       &timeout)) {
            Trace(L"the control pipe time-out could not be set (" + ErrorText(api_.GetLastError()) +
                  L"): WinUSB's default applies");
        }
        return std::make_unique<WinUsbDevice>(api_, open_, node, file, first, dfu,
                                              std::move(interfaces));
    }

    // WinUsb_Initialize, then the handle of the DFU interface: the first handle when the DFU
    // interface is the node's first, else the associated interface that many places on.
    bool InitializeDfu(const DfuNode& node, HANDLE file, WINUSB_INTERFACE_HANDLE& first,
                       WINUSB_INTERFACE_HANDLE& dfu, std::vector<std::uint8_t>& interfaces,
                       OpenFailure& failure) {
        failure.problem = DFUEngine::open_failed;
        if (!api_.WinUsb_Initialize(file, &first)) {
            first = nullptr;
            failure.detail = L"WinUsb_Initialize failed (" + ErrorText(api_.GetLastError()) + L")";
            return false;
        }
        USB_INTERFACE_DESCRIPTOR own{};
        std::vector<std::uint8_t> config;
        if (!api_.WinUsb_QueryInterfaceSettings(first, 0, &own) ||
            !WinUsbDevice::Configuration(api_, first, config)) {
            failure.detail = L"the device's descriptors could not be read (" +
                             ErrorText(api_.GetLastError()) + L")";
            return false;
        }
        // The node's interfaces in descriptor order, from the one the first handle reaches: a
        // whole device has them all, a function those of its association.
        const auto all = InterfaceNumbers(config.data(), config.size());
        auto start = std::find(all.begin(), all.end(), own.bInterfaceNumber);
        if (start == all.end()) {
            failure.detail = L"the device's descriptors do not name its first interface";
            return false;
        }
        const std::size_t count = node.function
                                      ? FunctionInterfaceCount(config.data(), config.size(), *start)
                                      : static_cast<std::size_t>(all.end() - start);
        interfaces.assign(start, start + std::min<std::size_t>(count, all.end() - start));
        const auto at = std::find(interfaces.begin(), interfaces.end(), node.dfuInterface);
        if (at == interfaces.end()) {
            failure.detail = L"the node WinUSB serves has no DFU interface";
            return false;
        }
        const auto place = static_cast<std::size_t>(at - interfaces.begin());
        if (place == 0) {
            dfu = first;
        } else if (!api_.WinUsb_GetAssociatedInterface(first, static_cast<UCHAR>(place - 1),
                                                       &dfu)) {
            dfu = nullptr;
            failure.detail = L"WinUsb_GetAssociatedInterface failed for interface " +
                             std::to_wstring(node.dfuInterface) + L" (" +
                             ErrorText(api_.GetLastError()) + L")";
            return false;
        }
        failure.problem = DFUEngine::open_ok;
        failure.detail.clear();
        return true;
    }

    WinUsbApi& api_;
    std::shared_ptr<OpenSet> open_;
};

}  // namespace

std::unique_ptr<Backend> MakeWinUsbBackend(WinUsbApi& api) {
    return std::make_unique<WinUsbBackend>(api);
}

}  // namespace dfuengine
