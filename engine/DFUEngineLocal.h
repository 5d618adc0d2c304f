// In-process devices and engine timing: for tests, the benchmark and tools that run a
// simulated device inside the same process. Not needed by the bridge.
//
// A local device is reached through the DFU wire protocol (docs/dfu-engine.md), exchanged by a
// function instead of a socket: the engine passes one request message and expects the reply
// message. tools/dfudevice's ServeWireMessage is such a function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "DFUEngine.h"

namespace dfuengine {

using LocalExchange = std::function<void(const std::uint8_t* request, std::size_t size,
                                         std::vector<std::uint8_t>& reply)>;

// Lists the device as "sim:<name>" while it answers DESCRIBE. Replaces a device of that name.
DFUENGINE_API void AttachLocalDevice(const wchar_t* name, LocalExchange exchange);
// Removes it; engines that opened it see it as gone.
DFUENGINE_API void DetachLocalDevice(const wchar_t* name);

struct EngineTiming {
    std::uint32_t busyLimitMs = 60000;        // longest a device may stay busy on one request
    std::uint32_t enumerationWaitMs = 20000;  // longest wait for a device to re-enumerate
    std::uint32_t listIntervalMs = 100;       // pause between looks at the device list
    std::uint32_t controlTimeoutMs = 5000;    // longest one control transfer may take (WinUSB)
};

DFUENGINE_API void SetEngineTiming(const EngineTiming& timing);
DFUENGINE_API EngineTiming GetEngineTiming();

// The WinUSB back end over another implementation of the Windows functions it calls (a model of
// Windows for tests; transport/WinUsbApi.h); null puts back the system's own, where there is
// one. The object must outlive every engine that opened a device through it.
class WinUsbApi;
DFUENGINE_API void UseWinUsbApi(WinUsbApi* api);

}  // namespace dfuengine
