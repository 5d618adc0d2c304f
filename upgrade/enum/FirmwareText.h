// The headset's configuration text: the string of its first USB configuration that names its
// firmware file ("FW:") and its PSR file ("PSR:").
#pragma once

#include <cstddef>
#include <cstdint>

#include "upgrade/enum/UsbRecords.h"

namespace upgrade {

constexpr std::size_t kDeviceConfigTextSize = 256;

// Process-wide result of the USB device tree walk: the upper-cased configuration string of
// the last matching device, zero-terminated, or untouched when nothing matched. Callers fill
// it with zeros before each walk. Only the window thread uses it.
extern char DeviceConfigText[kDeviceConfigTextSize];

// Matches the configuration strings of one device. `descriptorSet` is the configuration
// descriptor set as read from the hub driver (the 12-byte request header, then the
// descriptors); `setSize` is the size of that whole buffer. For every configuration descriptor
// of length 9 with a nonzero iConfiguration, every entry of `stringList` with that index (in
// every language, list order) is converted to 8-bit text, upper-cased (a to z only) and, when
// it contains both "FW:" and "PSR:", copied into DeviceConfigText.
void FindFirmwareText(const std::uint8_t* descriptorSet, std::size_t setSize,
                      const UsbStringEntry* stringList);

// Upper-cases the letters a to z of a zero-terminated text; every other byte stays as it is
// (so the bytes of double-byte or UTF-8 characters are never altered).
void UpperCaseAsciiLetters(char* text);

// True when the text holds both markers, anywhere and in either order.
bool HasFirmwareMarkers(const char* text);

}  // namespace upgrade
