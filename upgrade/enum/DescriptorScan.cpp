#include "upgrade/enum/DescriptorScan.h"

#include <algorithm>

#include "upgrade/enum/UsbRecords.h"

namespace upgrade {

std::size_t ConfigurationSetLength(const std::uint8_t* set, std::size_t available) {
    if (available < 4) return available;
    return std::min<std::size_t>(ReadLe16(set + 2), available);
}

bool DescriptorScan::Next(const std::uint8_t** descriptor) {
    if (end_ - next_ < 3) return false;
    const std::uint8_t length = next_[0];
    if (length == 0 || length > end_ - next_) return false;
    *descriptor = next_;
    next_ += length;
    return true;
}

}  // namespace upgrade
