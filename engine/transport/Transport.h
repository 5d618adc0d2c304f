// The engine's view of USB: a list of DFU devices and control transfers to an opened one.
// One core (Transport.cpp) merges the back ends; each back end lives in its own thin file:
//   LocalBackend.cpp    devices attached in process (a simulated device, for tests)
//   LoopbackBackend.cpp devices served over loopback TCP (QV_DFU_LOOPBACK)
//   WinUsbBackend.cpp   DFU interfaces of USB devices on Windows, through WinUsbApi
//   LibUsbBackend.cpp   DFU interfaces of USB devices elsewhere (Linux), through libusb-1.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DFUEngine.h"

namespace dfuengine {

struct UsbSetup {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
};

enum class UsbResult {
    ok,
    stall,    // the device refused the request
    gone,     // the device is no longer attached
    refused,  // the host may not do this (a reset without the rights to it)
    error,    // the transfer failed otherwise (also: no answer within the time-out)
};

// What the engine needs to know of a device: its identity and DFU functional descriptor.
struct DfuDescription {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t release = 0;
    bool dfuMode = false;  // DFU interface protocol 2; false: run-time (protocol 1)
    std::uint8_t interfaceNumber = 0;
    std::uint8_t attributes = 0;
    std::uint16_t detachTimeoutMs = 0;
    std::uint16_t transferSize = 0;
    std::uint16_t dfuVersion = 0;
};

constexpr std::uint8_t kAttrCanDownload = 0x01;
constexpr std::uint8_t kAttrCanUpload = 0x02;
constexpr std::uint8_t kAttrManifestationTolerant = 0x04;
constexpr std::uint8_t kAttrWillDetach = 0x08;

// An opened device.
class UsbDevice {
  public:
    virtual ~UsbDevice() = default;
    // Reads the descriptors again; false when the device is not attached.
    virtual bool Describe(DfuDescription& out) = 0;
    // One control transfer. OUT: data holds setup.length bytes. IN: data has room for
    // setup.length bytes and transferred tells how many came.
    virtual UsbResult Control(const UsbSetup& setup, std::uint8_t* data,
                              std::size_t& transferred) = 0;
    // USB port reset (the device re-enumerates). Afterwards the object may read as gone: the
    // engine finds the device again.
    virtual UsbResult Reset() = 0;
    // The longest data stage one control transfer may carry here; the steps use smaller DNLOAD
    // and UPLOAD blocks than wTransferSize where it asks for more (DFU allows any shorter one).
    virtual std::size_t MaxControlLength() const { return 0xFFFF; }
    // Where the device is plugged in (parent hub and port): the same text when it comes back
    // at the same place, whatever its name then; empty when the back end cannot tell.
    virtual std::wstring Location() const { return {}; }
};

// A device as listed: its name and, when the back end knows it, its location.
struct ListedDevice {
    std::wstring name;
    std::wstring location;
};

// Why an open failed: DFUEngine::GetLastOpenProblem passes it on.
struct OpenFailure {
    DFUEngine::OpenProblem problem = DFUEngine::open_not_found;
    std::wstring detail;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
};

class Backend {
  public:
    virtual ~Backend() = default;
    // Appends the DFU devices attached now.
    virtual void List(std::vector<ListedDevice>& devices) = 0;
    // Opens a device by one of its names. Null when the name is not this back end's (failure
    // left alone) or when the device cannot be opened (failure says why).
    virtual std::unique_ptr<UsbDevice> Open(const std::wstring& name, OpenFailure& failure) = 0;
    // Whether a USB device with this vendor ID sits at the location now, whatever its driver:
    // a headset back in run-time mode may show up as its serial device alone.
    virtual bool UsbDeviceAt(const std::wstring& location, std::uint16_t vendor) {
        (void)location;
        (void)vendor;
        return false;
    }
};

// The core: every back end of this build, in a fixed order.
void ListDevices(std::vector<ListedDevice>& devices);
std::unique_ptr<UsbDevice> OpenDevice(const std::wstring& name, OpenFailure& failure);
std::unique_ptr<UsbDevice> OpenDevice(const std::wstring& name);
bool UsbDeviceAt(const std::wstring& location, std::uint16_t vendor);

// Back-end factories (each in its own file).
std::unique_ptr<Backend> MakeLocalBackend();
std::unique_ptr<Backend> MakeLoopbackBackend();
class WinUsbApi;
std::unique_ptr<Backend> MakeWinUsbBackend(WinUsbApi& api);
#ifndef _WIN32
std::unique_ptr<Backend> MakeLibUsbBackend();
#endif

}  // namespace dfuengine
