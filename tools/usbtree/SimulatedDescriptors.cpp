#include "tools/usbtree/SimulatedDescriptors.h"

namespace upgrade::sim {
namespace {

void AppendLe16(Bytes& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

Bytes DeviceDescriptorBytes(std::uint8_t iManufacturer, std::uint8_t iProduct,
                            std::uint8_t iSerialNumber, std::uint8_t deviceClass) {
    Bytes bytes{18, 1};
    AppendLe16(bytes, 0x0200);  // bcdUSB
    bytes.insert(bytes.end(), {deviceClass, 0, 0, 64});
    AppendLe16(bytes, 0x0A12);  // idVendor
    AppendLe16(bytes, 0xFFFF);  // idProduct
    AppendLe16(bytes, 0x0100);  // bcdDevice
    bytes.insert(bytes.end(), {iManufacturer, iProduct, iSerialNumber, 1});
    return bytes;
}

Bytes ConfigurationDescriptorBytes(std::uint8_t iConfiguration, std::uint8_t value) {
    return {9, 2, 9, 0, 1, value, iConfiguration, 0x80, 50};
}

Bytes InterfaceDescriptorBytes(std::uint8_t number, std::uint8_t iInterface,
                               std::uint8_t interfaceClass) {
    return {9, 4, number, 0, 1, interfaceClass, 1, 1, iInterface};
}

Bytes EndpointDescriptorBytes(std::uint8_t address) {
    return {7, 5, address, 3, 8, 0, 10};
}

Bytes ConfigurationSet(std::initializer_list<Bytes> descriptors) {
    Bytes set;
    for (const Bytes& descriptor : descriptors)
        set.insert(set.end(), descriptor.begin(), descriptor.end());
    if (set.size() >= 4) {
        set[2] = static_cast<std::uint8_t>(set.size() & 0xFF);
        set[3] = static_cast<std::uint8_t>(set.size() >> 8);
    }
    return set;
}

Bytes StringDescriptorBytes(const std::u16string& text) {
    Bytes bytes{static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
    for (const char16_t unit : text) AppendLe16(bytes, static_cast<std::uint16_t>(unit));
    return bytes;
}

Bytes LanguageListBytes(std::initializer_list<std::uint16_t> languages) {
    Bytes bytes{static_cast<std::uint8_t>(2 + 2 * languages.size()), 3};
    for (const std::uint16_t language : languages) AppendLe16(bytes, language);
    return bytes;
}

std::u16string Utf16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace upgrade::sim
