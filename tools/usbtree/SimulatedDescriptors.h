// Building blocks of simulated USB devices: standard descriptors as a device returns them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace upgrade::sim {

using Bytes = std::vector<std::uint8_t>;

// Device descriptor (18 bytes) with the given string indexes and device class.
Bytes DeviceDescriptorBytes(std::uint8_t iManufacturer, std::uint8_t iProduct,
                            std::uint8_t iSerialNumber, std::uint8_t deviceClass = 0);
// Configuration descriptor (9 bytes); ConfigurationSet fills in its wTotalLength.
Bytes ConfigurationDescriptorBytes(std::uint8_t iConfiguration, std::uint8_t value = 1);
// Interface descriptor (9 bytes).
Bytes InterfaceDescriptorBytes(std::uint8_t number, std::uint8_t iInterface,
                               std::uint8_t interfaceClass = 0xFE);
// Endpoint descriptor (7 bytes).
Bytes EndpointDescriptorBytes(std::uint8_t address);

// The descriptors one after another, with the first one's wTotalLength set to the total.
Bytes ConfigurationSet(std::initializer_list<Bytes> descriptors);

// String descriptor: bLength, type 3, UTF-16LE text.
Bytes StringDescriptorBytes(const std::u16string& text);
// String descriptor 0: the language IDs.
Bytes LanguageListBytes(std::initializer_list<std::uint16_t> languages);

// UTF-16 of a plain ASCII text.
std::u16string Utf16(const std::string& ascii);

}  // namespace upgrade::sim
