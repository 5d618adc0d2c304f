// Platforms without WinUSB: no such back end.
#include "Transport.h"

namespace dfuengine {

std::unique_ptr<Backend> MakeWinUsbBackend() {
    return nullptr;
}

}  // namespace dfuengine
