// Back end for real devices on Linux: the DFU interfaces of USB devices, through libusb-1.0
// (which speaks to the kernel's usbfs, /dev/bus/usb/BBB/DDD).
//
// - Names: "usb:<bus>-<port>[.<port>...]", the bus and the chain of hub ports the device hangs
//   from, as the kernel names it in sysfs. The device number changes each time a device
//   enumerates (after a detach or a reset); the port path does not, so that a device is found
//   again under the name it had. The name is also the device's place (Location).
// - Opening claims the DFU interface. A kernel driver bound to it is detached first, only when
//   there is one, and attached again when the device is closed.
// - A control transfer carries at most 4096 bytes (libusb refuses longer ones on Linux); the
//   steps use shorter DNLOAD/UPLOAD blocks there (MaxControlLength). Each one has the engine's
//   control time-out.
// - Errors: LIBUSB_ERROR_NO_DEVICE is a device that has gone, LIBUSB_ERROR_PIPE a stall,
//   LIBUSB_ERROR_TIMEOUT no answer in time; LIBUSB_ERROR_ACCESS on opening names the udev rule
//   that gives the user the device.
// - A reset is libusb_reset_device. LIBUSB_ERROR_NOT_FOUND means that the device enumerated
//   anew (its descriptors changed, as from run-time to DFU mode): the handle is dead, and the
//   device is opened again on the same port path once it is back.
#include <libusb.h>

#include <cstdio>
#include <string>

#include "../Trace.h"
#include "DFUEngineLocal.h"
#include "Transport.h"
#include "UsbConfigDescriptor.h"

namespace dfuengine {
namespace {

constexpr std::size_t kMaxControl = 4096;
constexpr std::size_t kDeviceDescriptorLength = 18;
const std::wstring kPrefix = L"usb:";

std::wstring ErrorText(int error) {
    const char* name = libusb_error_name(error);
    return std::wstring(name, name + std::char_traits<char>::length(name));
}

// The process's libusb context, made at the first use and kept for the life of the process
// (an engine may hold a device until exit). Null where libusb cannot run (no usbfs): the back
// end then lists nothing.
libusb_context* Context() {
    static libusb_context* const context = [] {
        libusb_context* made = nullptr;
        return libusb_init(&made) == LIBUSB_SUCCESS ? made : nullptr;
    }();
    return context;
}

// "usb:1-4.2": the bus and port path; empty for a root hub (no ports).
std::wstring PortPathName(libusb_device* device) {
    std::uint8_t ports[8];
    const int count = libusb_get_port_numbers(device, ports, sizeof ports);
    if (count <= 0) return {};
    std::wstring name = kPrefix + std::to_wstring(libusb_get_bus_number(device)) + L"-";
    for (int i = 0; i < count; ++i) {
        if (i > 0) name += L".";
        name += std::to_wstring(ports[i]);
    }
    return name;
}

// The first DFU interface (class 0xFE, subclass 0x01) of the device's active configuration,
// from what the system read when the device enumerated: no request goes to the device.
bool FindDfuInterfaceNumber(libusb_device* device, std::uint8_t& number) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS &&
        libusb_get_config_descriptor(device, 0, &config) != LIBUSB_SUCCESS) {
        return false;
    }
    bool found = false;
    for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
        const libusb_interface& interface = config->interface[i];
        for (int a = 0; a < interface.num_altsetting && !found; ++a) {
            const libusb_interface_descriptor& d = interface.altsetting[a];
            if (d.bInterfaceClass == 0xFE && d.bInterfaceSubClass == 0x01) {
                number = d.bInterfaceNumber;
                found = true;
            }
        }
    }
    libusb_free_config_descriptor(config);
    return found;
}

std::uint16_t VendorOf(libusb_device* device, std::uint16_t* product = nullptr) {
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(device, &d) != LIBUSB_SUCCESS) return 0;
    if (product != nullptr) *product = d.idProduct;
    return d.idVendor;
}

// The devices attached now, released when it goes.
class DeviceList {
  public:
    DeviceList() {
        if (Context() != nullptr) {
            const ssize_t count = libusb_get_device_list(Context(), &list_);
            count_ = count > 0 ? static_cast<std::size_t>(count) : 0;
        }
    }
    ~DeviceList() {
        if (list_ != nullptr) libusb_free_device_list(list_, 1);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    libusb_device* const* begin() const { return list_; }
    libusb_device* const* end() const { return list_ + count_; }

    // The device at this port path that has a DFU interface; null when there is none.
    libusb_device* DfuDeviceAt(const std::wstring& name, std::uint8_t& interfaceNumber) const {
        for (libusb_device* device : *this) {
            if (PortPathName(device) == name && FindDfuInterfaceNumber(device, interfaceNumber)) {
                return device;
            }
        }
        return nullptr;
    }

  private:
    libusb_device** list_ = nullptr;
    std::size_t count_ = 0;
};

// An opened device with its DFU interface claimed.
struct Claim {
    libusb_device_handle* handle = nullptr;
    std::uint8_t interfaceNumber = 0;
    bool driverDetached = false;  // a kernel driver was bound to the interface
};

std::wstring AccessDetail(libusb_device* device) {
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(device),
                  libusb_get_device_address(device));
    return L"permission denied on " +
           std::wstring(node, node + std::char_traits<char>::length(node)) +
           L": install the udev rule 70-kx-v5.rules (the package puts it in "
           L"/usr/lib/udev/rules.d), then unplug and replug the headset";
}

void Release(Claim& claim) {
    if (claim.handle == nullptr) return;
    libusb_release_interface(claim.handle, claim.interfaceNumber);
    if (claim.driverDetached) {
        // Given back as it was found; a device that has gone takes its driver with it.
        libusb_attach_kernel_driver(claim.handle, claim.interfaceNumber);
    }
    libusb_close(claim.handle);
    claim = Claim{};
}

// Opens the device and claims its DFU interface, detaching a kernel driver only where one is
// bound. False with the failure filled in.
bool OpenAndClaim(libusb_device* device, std::uint8_t interfaceNumber, Claim& claim,
                  OpenFailure& failure) {
    claim = Claim{};
    claim.interfaceNumber = interfaceNumber;
    int r = libusb_open(device, &claim.handle);
    if (r != LIBUSB_SUCCESS) {
        claim.handle = nullptr;
        if (r == LIBUSB_ERROR_ACCESS) {
            failure.problem = DFUEngine::open_access_denied;
            failure.detail = AccessDetail(device);
        } else if (r == LIBUSB_ERROR_NO_DEVICE || r == LIBUSB_ERROR_NOT_FOUND) {
            failure.problem = DFUEngine::open_not_found;
            failure.detail = L"the device went away while it was opened";
        } else {
            failure.problem =
                r == LIBUSB_ERROR_BUSY ? DFUEngine::open_busy : DFUEngine::open_failed;
            failure.detail = L"libusb_open failed (" + ErrorText(r) + L")";
        }
        return false;
    }
    if (libusb_kernel_driver_active(claim.handle, interfaceNumber) == 1) {
        r = libusb_detach_kernel_driver(claim.handle, interfaceNumber);
        if (r != LIBUSB_SUCCESS && r != LIBUSB_ERROR_NOT_FOUND) {
            failure.problem =
                r == LIBUSB_ERROR_ACCESS ? DFUEngine::open_access_denied : DFUEngine::open_failed;
            failure.detail =
                L"the kernel driver bound to the DFU interface could not be detached (" +
                ErrorText(r) + L")";
            Release(claim);
            return false;
        }
        claim.driverDetached = r == LIBUSB_SUCCESS;
        if (claim.driverDetached) {
            Trace(L"the kernel driver bound to interface " + std::to_wstring(interfaceNumber) +
                  L" of " + PortPathName(device) +
                  L" was detached; it is attached again at the end");
        }
    }
    r = libusb_claim_interface(claim.handle, interfaceNumber);
    if (r != LIBUSB_SUCCESS) {
        if (r == LIBUSB_ERROR_BUSY) {
            failure.problem = DFUEngine::open_busy;
            failure.detail = L"the DFU interface is claimed by another program";
        } else if (r == LIBUSB_ERROR_NO_DEVICE || r == LIBUSB_ERROR_NOT_FOUND) {
            failure.problem = DFUEngine::open_not_found;
            failure.detail = L"the device went away while it was opened";
        } else {
            failure.problem = DFUEngine::open_failed;
            failure.detail = L"the DFU interface could not be claimed (" + ErrorText(r) + L")";
        }
        Release(claim);
        return false;
    }
    failure.problem = DFUEngine::open_ok;
    failure.detail.clear();
    return true;
}

class LibUsbDevice : public UsbDevice {
  public:
    LibUsbDevice(std::wstring name, Claim claim, std::uint16_t vendor, std::uint16_t product)
        : name_(std::move(name)), claim_(claim), vendor_(vendor), product_(product) {}
    ~LibUsbDevice() override { Release(claim_); }
    LibUsbDevice(const LibUsbDevice&) = delete;
    LibUsbDevice& operator=(const LibUsbDevice&) = delete;

    bool Describe(DfuDescription& out) override {
        if (!Reopened()) return false;
        std::uint8_t device[kDeviceDescriptorLength] = {};
        if (ReadDescriptor(LIBUSB_DT_DEVICE, device, sizeof device) <
            static_cast<int>(sizeof device)) {
            return false;
        }
        std::uint8_t head[LIBUSB_DT_CONFIG_SIZE] = {};
        if (ReadDescriptor(LIBUSB_DT_CONFIG, head, sizeof head) < static_cast<int>(sizeof head)) {
            return false;
        }
        std::vector<std::uint8_t> config(head[2] | (head[3] << 8));
        if (config.size() < sizeof head || config.size() > kMaxControl) return false;
        const int got = ReadDescriptor(LIBUSB_DT_CONFIG, config.data(), config.size());
        if (got < static_cast<int>(sizeof head)) return false;
        config.resize(static_cast<std::size_t>(got));
        out.vendor = static_cast<std::uint16_t>(device[8] | (device[9] << 8));
        out.product = static_cast<std::uint16_t>(device[10] | (device[11] << 8));
        out.release = static_cast<std::uint16_t>(device[12] | (device[13] << 8));
        return FindDfuInterface(config.data(), config.size(), {claim_.interfaceNumber}, out);
    }

    UsbResult Control(const UsbSetup& setup, std::uint8_t* data,
                      std::size_t& transferred) override {
        transferred = 0;
        if (!Reopened()) return UsbResult::gone;
        if (setup.length > kMaxControl) {
            Trace(L"control transfer of " + std::to_wstring(setup.length) +
                  L" bytes refused: libusb carries at most 4096 on Linux");
            return UsbResult::error;
        }
        const unsigned timeout = GetEngineTiming().controlTimeoutMs;
        const int r =
            libusb_control_transfer(claim_.handle, setup.requestType, setup.request, setup.value,
                                    setup.index, data, setup.length, timeout);
        if (r >= 0) {
            transferred = static_cast<std::size_t>(r);
            return UsbResult::ok;
        }
        switch (r) {
            case LIBUSB_ERROR_PIPE:
                return UsbResult::stall;
            case LIBUSB_ERROR_NO_DEVICE:
            case LIBUSB_ERROR_NOT_FOUND:
                return UsbResult::gone;
            case LIBUSB_ERROR_TIMEOUT:
                Trace(L"no answer from " + UsbIdText(vendor_, product_) + L" within " +
                      std::to_wstring(timeout) + L" ms: the control transfer was cancelled");
                return UsbResult::error;
            default:
                return UsbResult::error;
        }
    }

    UsbResult Reset() override {
        if (!Reopened()) return UsbResult::gone;
        const std::wstring who = UsbIdText(vendor_, product_);
        const int r = libusb_reset_device(claim_.handle);
        switch (r) {
            case LIBUSB_SUCCESS:
                Trace(L"reset of " + who + L" at " + name_ + L": it kept its descriptors");
                return UsbResult::ok;
            case LIBUSB_ERROR_NOT_FOUND:
                // The device enumerated anew: this handle is dead. The device is looked for
                // again on its port path at the next request.
                Trace(L"reset of " + who + L" at " + name_ + L": the device enumerates anew");
                Forget();
                reopen_ = true;
                return UsbResult::ok;
            case LIBUSB_ERROR_NO_DEVICE:
                Forget();
                return UsbResult::gone;
            default:
                Trace(L"reset of " + who + L" failed (" + ErrorText(r) + L")");
                return UsbResult::error;
        }
    }

    std::size_t MaxControlLength() const override { return kMaxControl; }
    std::wstring Location() const override { return name_; }

  private:
    // GET_DESCRIPTOR (index 0) with the engine's time-out; the bytes read, or a libusb error.
    int ReadDescriptor(std::uint8_t type, std::uint8_t* data, std::size_t length) {
        return libusb_control_transfer(
            claim_.handle, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
            static_cast<std::uint16_t>(type << 8), 0, data, static_cast<std::uint16_t>(length),
            GetEngineTiming().controlTimeoutMs);
    }

    // The handle after the device enumerated anew cannot reach it; nor can its kernel driver
    // be attached again through it.
    void Forget() {
        claim_.driverDetached = false;
        Release(claim_);
    }

    // True while a handle reaches the device: after a reset that made it enumerate anew, the
    // device on the same port path is opened again once it is back.
    bool Reopened() {
        if (claim_.handle != nullptr) return true;
        if (!reopen_) return false;
        const DeviceList devices;
        std::uint8_t interfaceNumber = 0;
        libusb_device* device = devices.DfuDeviceAt(name_, interfaceNumber);
        OpenFailure ignored;
        if (device == nullptr || !OpenAndClaim(device, interfaceNumber, claim_, ignored)) {
            return false;
        }
        reopen_ = false;
        vendor_ = VendorOf(device, &product_);
        Trace(L"found " + UsbIdText(vendor_, product_) + L" again at " + name_);
        return true;
    }

    std::wstring name_;
    Claim claim_;
    std::uint16_t vendor_;
    std::uint16_t product_;
    bool reopen_ = false;
};

class LibUsbBackend : public Backend {
  public:
    void List(std::vector<ListedDevice>& devices) override {
        const DeviceList all;
        for (libusb_device* device : all) {
            std::uint8_t interfaceNumber = 0;
            const std::wstring name = PortPathName(device);
            if (!name.empty() && FindDfuInterfaceNumber(device, interfaceNumber)) {
                devices.push_back({name, name});
            }
        }
    }

    std::unique_ptr<UsbDevice> Open(const std::wstring& name, OpenFailure& failure) override {
        if (name.compare(0, kPrefix.size(), kPrefix) != 0) return nullptr;
        const DeviceList devices;
        std::uint8_t interfaceNumber = 0;
        libusb_device* device = devices.DfuDeviceAt(name, interfaceNumber);
        if (device == nullptr) return nullptr;
        failure.vendor = VendorOf(device, &failure.product);
        Claim claim;
        if (!OpenAndClaim(device, interfaceNumber, claim, failure)) return nullptr;
        return std::make_unique<LibUsbDevice>(name, claim, failure.vendor, failure.product);
    }

    bool UsbDeviceAt(const std::wstring& location, std::uint16_t vendor) override {
        const DeviceList devices;
        for (libusb_device* device : devices) {
            if (PortPathName(device) == location && VendorOf(device) == vendor) return true;
        }
        return false;
    }
};

}  // namespace

std::unique_ptr<Backend> MakeLibUsbBackend() {
    return std::make_unique<LibUsbBackend>();
}

}  // namespace dfuengine
