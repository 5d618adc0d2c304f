// Platforms without WinUSB: no system functions under the WinUSB back end (a test may still
// give it a model of Windows).
#include "WinUsbApi.h"

namespace dfuengine {

WinUsbApi* SystemWinUsbApi() {
    return nullptr;
}

}  // namespace dfuengine
