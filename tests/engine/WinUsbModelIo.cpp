// The model's files, hub requests and WinUSB functions, with the behaviour their Microsoft pages
// give them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <cwctype>
#include <thread>

#include "WinUsbModel.h"

namespace winusbmodel {
namespace {

constexpr ULONG kMaxControlBuffer = 4096;
constexpr ULONG kDefaultControlTimeoutMs = 5000;
constexpr ULONG kForeverMs = 3000;  // how long the model lets "for ever" last before failing

std::wstring Upper(std::wstring text) {
    for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

std::uintptr_t Id(const void* handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

}  // namespace

bool WindowsModel::DeviceThereLocked(const File& file) {
    const Plugging& p = pluggings_[static_cast<std::size_t>(file.plugged)];
    if (p.device == nullptr || !p.present) {
        // The device has left the bus and Plug and Play has removed its node.
        Fail(goneError_);
        return false;
    }
    if (p.generation != file.generation || NodeLocked(file.node) == nullptr) {
        // The device enumerated again: this handle was on the device object that went.
        Fail(ERROR_DEVICE_NOT_CONNECTED);
        return false;
    }
    return true;
}

WindowsModel::UsbHandle* WindowsModel::UsbLocked(WINUSB_INTERFACE_HANDLE usb) {
    auto it = usbHandles_.find(Id(usb));
    if (it == usbHandles_.end() || files_.count(it->second.file) == 0) {
        Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &it->second;
}

// CreateFileW on a device interface path. A WinUSB device grants one handle at a time: another
// open, by this program or another, fails with ERROR_ACCESS_DENIED until the first is closed
// ("Specifying Exclusive Access to Device Objects": only one handle may be open on an exclusive
// device). Hub interfaces take any number. An unknown path gives ERROR_FILE_NOT_FOUND.
HANDLE WindowsModel::CreateFileW(PCWSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                                 DWORD flags, HANDLE) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    const std::wstring wanted = Upper(name != nullptr ? name : L"");
    for (const auto& entry : nodes_) {
        const Node& node = entry.second;
        for (const auto& di : node.deviceInterfaces) {
            if (Upper(di.second) != wanted) continue;
            File file;
            if (node.hub >= 0) {
                file.hub = true;
                file.hubNumber = node.hub;
            } else {
                if (pluggings_[static_cast<std::size_t>(node.plugged)].heldElsewhere) {
                    return FailWith(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
                }
                for (const auto& f : files_) {
                    if (!f.second.hub && f.second.node == node.devinst) {
                        return FailWith(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
                    }
                }
                file.node = node.devinst;
                file.plugged = node.plugged;
                file.generation = node.generation;
                file.overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
            }
            const std::uintptr_t id = nextHandle_++;
            files_[id] = file;
            return reinterpret_cast<HANDLE>(id);
        }
    }
    return FailWith(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
}

BOOL WindowsModel::CloseHandle(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    return files_.erase(Id(handle)) == 1 ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

// Hub requests on a hub's device interface:
// - IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION: a GET_DESCRIPTOR for the device on a port;
//   USB_DESCRIPTOR_REQUEST in, the same with the descriptor after it out;
// - IOCTL_USB_HUB_CYCLE_PORT: power-cycles a port, the device re-enumerates; "Supported on
//   Windows 8 and later versions of Windows, if the caller is running as Administrator ... Not
//   supported on Windows 7" (its page): refused otherwise.
BOOL WindowsModel::DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                   DWORD outSize, DWORD* returned, LPOVERLAPPED) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    auto it = files_.find(Id(device));
    if (it == files_.end()) return Fail(ERROR_INVALID_HANDLE);
    if (!it->second.hub) return Fail(ERROR_INVALID_FUNCTION);
    const int hub = it->second.hubNumber;
    if (code == IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION) {
        const std::size_t header = offsetof(USB_DESCRIPTOR_REQUEST, Data);
        if (in == nullptr || out == nullptr || inSize < header) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
        USB_DESCRIPTOR_REQUEST request;
        std::memcpy(&request, in, header);
        if (request.SetupPacket.bmRequest != 0x80 || request.SetupPacket.bRequest != 0x06) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
        if (outSize < header + request.SetupPacket.wLength) return Fail(ERROR_INSUFFICIENT_BUFFER);
        const int plugging = PluggingAtLocked(hub, static_cast<int>(request.ConnectionIndex));
        if (plugging < 0) return Fail(ERROR_DEVICE_NOT_CONNECTED);
        qvdfu::Setup setup;
        setup.requestType = 0x80;
        setup.request = 0x06;
        setup.value = request.SetupPacket.wValue;
        setup.index = request.SetupPacket.wIndex;
        setup.length = request.SetupPacket.wLength;
        std::vector<std::uint8_t> data(setup.length);
        std::size_t got = 0;
        if (DeviceRequestLocked(plugging, setup, data.data(), got) != qvdfu::Transfer::ok) {
            return Fail(ERROR_GEN_FAILURE);
        }
        auto* bytes = static_cast<std::uint8_t*>(out);
        std::memcpy(bytes, &request, header);
        if (got > 0) std::memcpy(bytes + header, data.data(), got);
        if (returned != nullptr) *returned = static_cast<DWORD>(header + got);
        return TRUE;
    }
    if (code == IOCTL_USB_HUB_CYCLE_PORT) {
        if (in == nullptr || inSize < sizeof(USB_CYCLE_PORT_PARAMS)) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
        if (!options_.windows8OrLater) return Fail(ERROR_INVALID_FUNCTION);
        if (!options_.administrator) {
            ++refusedResets_;
            return Fail(ERROR_ACCESS_DENIED);
        }
        USB_CYCLE_PORT_PARAMS params;
        std::memcpy(&params, in, sizeof params);
        const int plugging = PluggingAtLocked(hub, static_cast<int>(params.ConnectionIndex));
        if (plugging < 0) return Fail(ERROR_INVALID_PARAMETER);
        Plugging& p = pluggings_[static_cast<std::size_t>(plugging)];
        RemoveNodesLocked(plugging);
        p.present = false;
        p.device->Reset();
        ++cyclePorts_;
        RefreshLocked();
        if (returned != nullptr) *returned = 0;
        return TRUE;
    }
    return Fail(ERROR_INVALID_FUNCTION);
}

// WinUsb_Initialize: "FILE_FLAG_OVERLAPPED must be specified" (else ERROR_INVALID_HANDLE); the
// handle reaches the first (default) interface of the node WinUSB serves; the policies start at
// their defaults, PIPE_TRANSFER_TIMEOUT 5 s on the control pipe ("WinUSB functions for pipe
// policy modification").
BOOL WindowsModel::WinUsb_Initialize(HANDLE file, WINUSB_INTERFACE_HANDLE* usb) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    auto it = files_.find(Id(file));
    if (it == files_.end() || it->second.hub || !it->second.overlapped || usb == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (!DeviceThereLocked(it->second)) return FALSE;
    if (NodeLocked(it->second.node)->interfaces.empty()) return Fail(ERROR_BAD_DEVICE);
    UsbHandle handle;
    handle.file = it->first;
    handle.first = true;
    const std::uintptr_t id = nextHandle_++;
    usbHandles_[id] = handle;
    timeouts_[id] = kDefaultControlTimeoutMs;
    *usb = reinterpret_cast<WINUSB_INTERFACE_HANDLE>(id);
    return TRUE;
}

BOOL WindowsModel::WinUsb_Free(WINUSB_INTERFACE_HANDLE usb) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = usbHandles_.find(Id(usb));
    if (it == usbHandles_.end()) return Fail(ERROR_INVALID_HANDLE);
    auto parent = usbHandles_.find(it->second.parent);
    if (!it->second.first && parent != usbHandles_.end()) {
        parent->second.associated.erase(it->second.place);
    }
    timeouts_.erase(it->first);
    usbHandles_.erase(it);
    return TRUE;
}

// WinUsb_GetAssociatedInterface: from the first handle only; index 0 is "the interface that
// immediately follows" the first one; none there: ERROR_NO_MORE_ITEMS; asked again while
// held: ERROR_ALREADY_EXISTS.
BOOL WindowsModel::WinUsb_GetAssociatedInterface(WINUSB_INTERFACE_HANDLE usb, UCHAR index,
                                                 WINUSB_INTERFACE_HANDLE* associated) {
    std::lock_guard<std::mutex> lock(mutex_);
    UsbHandle* handle = UsbLocked(usb);
    if (handle == nullptr) return FALSE;
    if (!handle->first || associated == nullptr) return Fail(ERROR_INVALID_HANDLE);
    const File& file = files_[handle->file];
    if (!DeviceThereLocked(file)) return FALSE;
    const std::size_t place = static_cast<std::size_t>(index) + 1;
    if (place >= NodeLocked(file.node)->interfaces.size()) return Fail(ERROR_NO_MORE_ITEMS);
    if (handle->associated.count(place) != 0) return Fail(ERROR_ALREADY_EXISTS);
    handle->associated.insert(place);
    UsbHandle more;
    more.file = handle->file;
    more.place = place;
    more.parent = Id(usb);
    const std::uintptr_t id = nextHandle_++;
    usbHandles_[id] = more;
    timeouts_[id] = kDefaultControlTimeoutMs;
    *associated = reinterpret_cast<WINUSB_INTERFACE_HANDLE>(id);
    return TRUE;
}

BOOL WindowsModel::WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE usb, UCHAR alternate,
                                                 PUSB_INTERFACE_DESCRIPTOR descriptor) {
    std::lock_guard<std::mutex> lock(mutex_);
    UsbHandle* handle = UsbLocked(usb);
    if (handle == nullptr) return FALSE;
    const File& file = files_[handle->file];
    if (!DeviceThereLocked(file)) return FALSE;
    if (alternate != 0) return Fail(ERROR_NO_MORE_ITEMS);
    const std::uint8_t number = NodeLocked(file.node)->interfaces[handle->place];
    const auto& config = pluggings_[static_cast<std::size_t>(file.plugged)].configuration;
    for (std::size_t at = 0; at + 9 <= config.size() && config[at] >= 2; at += config[at]) {
        if (config[at + 1] == 0x04 && config[at + 2] == number && config[at + 3] == 0) {
            std::memcpy(descriptor, &config[at], 9);
            return TRUE;
        }
    }
    return Fail(ERROR_NO_MORE_ITEMS);
}

BOOL WindowsModel::WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE usb, UCHAR type, UCHAR index,
                                        USHORT language, UCHAR* buffer, ULONG size,
                                        ULONG* transferred) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    UsbHandle* handle = UsbLocked(usb);
    if (handle == nullptr) return FALSE;
    const File& file = files_[handle->file];
    if (!DeviceThereLocked(file)) return FALSE;
    std::vector<std::uint8_t> out;
    if (!ReadDescriptorLocked(file.plugged, type, index, language, size, out)) {
        return Fail(ERROR_GEN_FAILURE);
    }
    if (!out.empty()) std::memcpy(buffer, out.data(), out.size());
    if (transferred != nullptr) *transferred = static_cast<ULONG>(out.size());
    return TRUE;
}

// WinUsb_SetPipePolicy: PIPE_TRANSFER_TIMEOUT takes a ULONG of milliseconds (0: none).
BOOL WindowsModel::WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE usb, UCHAR pipe, ULONG policy,
                                        ULONG size, PVOID value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (UsbLocked(usb) == nullptr) return FALSE;
    if (pipe != 0 || policy != PIPE_TRANSFER_TIMEOUT || size != sizeof(ULONG) || value == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::memcpy(&timeouts_[Id(usb)], value, sizeof(ULONG));
    lastTimeout_ = timeouts_[Id(usb)];
    return TRUE;
}

// WinUsb_ControlTransfer:
// - "The length of this buffer must not exceed 4KB": a longer one is refused
//   (ERROR_INVALID_PARAMETER);
// - the handle names the recipient interface ("For all other interfaces, obtain the handle to
//   the target interface by calling WinUsb_GetAssociatedInterface"): an interface request goes
//   to the handle's interface, whatever wIndex says;
// - a request the device stalls fails with ERROR_GEN_FAILURE; to a device that has left the bus
//   with the gone error (ERROR_GEN_FAILURE once its node is gone, or as set);
// - a device that does not answer: the transfer is cancelled after the pipe's
//   PIPE_TRANSFER_TIMEOUT with ERROR_SEM_TIMEOUT.
BOOL WindowsModel::WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE usb, WINUSB_SETUP_PACKET setup,
                                          UCHAR* buffer, ULONG size, ULONG* transferred,
                                          LPOVERLAPPED) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (transferred != nullptr) *transferred = 0;
    UsbHandle* handle = UsbLocked(usb);
    if (handle == nullptr) return FALSE;
    largestBuffer_ = std::max(largestBuffer_, size);
    if (size > kMaxControlBuffer) {
        ++oversized_;
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (setup.Length > size) return Fail(ERROR_INVALID_PARAMETER);
    RefreshLocked();
    const File file = files_[handle->file];
    if (!DeviceThereLocked(file)) return FALSE;
    Plugging& p = pluggings_[static_cast<std::size_t>(file.plugged)];
    if (p.answersLeft == 0) {
        const ULONG timeout = timeouts_[Id(usb)];
        lock.unlock();
        if (timeout == 0) {
            ADD_FAILURE() << "a control transfer to a hung device with no time-out blocks for ever";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(timeout != 0 ? timeout : kForeverMs));
        return Fail(ERROR_SEM_TIMEOUT);
    }
    if (p.answersLeft > 0) --p.answersLeft;
    qvdfu::Setup s;
    s.requestType = setup.RequestType;
    s.request = setup.Request;
    s.value = setup.Value;
    s.index = setup.Index;
    s.length = setup.Length;
    if ((s.requestType & 0x1F) == 0x01) {
        const std::uint8_t own = NodeLocked(file.node)->interfaces[handle->place];
        s.index = static_cast<std::uint16_t>((s.index & 0xFF00) | own);
    }
    std::size_t got = 0;
    switch (DeviceRequestLocked(file.plugged, s, buffer, got)) {
        case qvdfu::Transfer::ok:
            if (transferred != nullptr) *transferred = static_cast<ULONG>(got);
            return TRUE;
        case qvdfu::Transfer::gone:
            RemoveNodesLocked(file.plugged);
            p.present = false;
            return Fail(goneError_);
        case qvdfu::Transfer::stall:
        case qvdfu::Transfer::error:
            break;
    }
    return Fail(ERROR_GEN_FAILURE);
}

}  // namespace winusbmodel
