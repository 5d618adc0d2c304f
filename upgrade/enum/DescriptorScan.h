// Walking the descriptors of a configuration descriptor set (USB 2.0 chapter 9.6.3: the
// configuration descriptor followed by its interface, endpoint and class descriptors).
#pragma once

#include <cstddef>
#include <cstdint>

#include "upgrade/enum/UsbRecords.h"

namespace upgrade {

// Length of the set that may be scanned: its wTotalLength, but never more than the bytes the
// caller holds, so a lying wTotalLength cannot lead a scan out of the buffer.
std::size_t ConfigurationSetLength(const std::uint8_t* set, std::size_t available);

// Visits the descriptors of a set one by one. A descriptor is visited while at least three
// bytes remain and it ends within the set; the next one starts bLength bytes further. A
// descriptor whose bLength is 0 ends the scan, so every step advances.
class DescriptorScan {
  public:
    DescriptorScan(const std::uint8_t* set, std::size_t length) : next_(set), end_(set + length) {}

    // Points `descriptor` at the next descriptor; false at the end of the scan.
    bool Next(const std::uint8_t** descriptor);

  private:
    const std::uint8_t* next_;
    const std::uint8_t* end_;
};

// Calls visit(index) for every nonzero iConfiguration of a configuration descriptor and every
// nonzero iInterface of an interface descriptor, in set order. A configuration descriptor
// whose length is not 9, or an interface descriptor whose length is neither 9 nor 11, ends
// the scan: such a set is not one whose string indexes can be trusted.
template <typename Visit>
void ForEachDescriptorStringIndex(const std::uint8_t* set, std::size_t length, Visit visit);

constexpr std::uint8_t kConfigurationDescriptorLength = 9;
constexpr std::size_t kConfigurationStringIndexOffset = 6;
constexpr std::size_t kInterfaceStringIndexOffset = 8;

template <typename Visit>
void ForEachDescriptorStringIndex(const std::uint8_t* set, std::size_t length, Visit visit) {
    DescriptorScan scan(set, length);
    const std::uint8_t* descriptor = nullptr;
    while (scan.Next(&descriptor)) {
        const std::uint8_t descriptorLength = descriptor[0];
        const std::uint8_t type = descriptor[1];
        if (type == kConfigurationDescriptorType) {
            if (descriptorLength != kConfigurationDescriptorLength) return;
            if (descriptor[kConfigurationStringIndexOffset] != 0)
                visit(descriptor[kConfigurationStringIndexOffset]);
        } else if (type == kInterfaceDescriptorType) {
            if (descriptorLength != 9 && descriptorLength != 11) return;
            if (descriptor[kInterfaceStringIndexOffset] != 0)
                visit(descriptor[kInterfaceStringIndexOffset]);
        }
    }
}

}  // namespace upgrade
