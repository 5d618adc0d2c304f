// The engine's view of USB: a list of DFU devices and control transfers to an opened one.
// One core (Transport.cpp) merges the back ends; each back end lives in its own thin file:
//   LocalBackend.cpp    devices attached in process (a simulated device, for tests)
//   LoopbackBackend.cpp devices served over loopback TCP (QV_DFU_LOOPBACK)
//   WinUsbBackend.cpp   DFU interfaces of devices bound to WinUSB (Windows only)
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
    stall,  // the device refused the request
    gone,   // the device is no longer attached
    error,  // the transfer failed otherwise
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
    // USB port reset (the device re-enumerates).
    virtual UsbResult Reset() = 0;
};

class Backend {
  public:
    virtual ~Backend() = default;
    // Appends the names of the DFU devices attached now.
    virtual void List(std::vector<std::wstring>& names) = 0;
    // Opens a device by one of its names; null when the name is not this back end's or the
    // device cannot be opened.
    virtual std::unique_ptr<UsbDevice> Open(const std::wstring& name) = 0;
};

// The core: every back end of this build, in a fixed order.
void ListDevices(std::vector<std::wstring>& names);
std::unique_ptr<UsbDevice> OpenDevice(const std::wstring& name);

// Back-end factories (each in its own file).
std::unique_ptr<Backend> MakeLocalBackend();
std::unique_ptr<Backend> MakeLoopbackBackend();
std::unique_ptr<Backend> MakeWinUsbBackend();  // null on platforms without WinUSB

}  // namespace dfuengine
