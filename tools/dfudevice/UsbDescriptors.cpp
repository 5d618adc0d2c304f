// Builds the descriptor bytes (USB 2.0 chapter 9, USB DFU 1.1, USB CDC 1.2, Microsoft's MS OS
// 2.0 descriptors). Multi-byte fields are little-endian.
#include "UsbDescriptors.h"

namespace qvdfu {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Le16(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Le32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// ASCII text as UTF-16LE, with or without its terminator.
Bytes Utf16(const std::string& text, bool terminated) {
    Bytes out;
    for (char c : text) Le16(out, static_cast<unsigned char>(c));
    if (terminated) Le16(out, 0);
    return out;
}

Bytes StringDescriptor(const std::string& text) {
    Bytes out{0, 0x03};
    Append(out, Utf16(text, false));
    out[0] = static_cast<std::uint8_t>(out.size());
    return out;
}

Bytes Interface(std::uint8_t number, std::uint8_t endpoints, std::uint8_t cls, std::uint8_t sub,
                std::uint8_t protocol) {
    return {9, 0x04, number, 0, endpoints, cls, sub, protocol, 0};
}

Bytes DfuInterface(const DescriptorConfig& c, std::uint8_t number) {
    Bytes out = Interface(number, 0, 0xFE, 0x01, c.dfuMode ? 0x02 : 0x01);
    // DFU functional descriptor, bcdDFUVersion 1.1.
    Append(out, {9, 0x21, c.attributes});
    Le16(out, c.detachTimeoutMs);
    Le16(out, c.transferSize);
    Le16(out, 0x0110);
    return out;
}

// CDC ACM: the association, the communication interface with its functional descriptors and
// notification endpoint, the data interface with its two bulk endpoints.
Bytes SerialFunction() {
    Bytes out{8, 0x0B, 0, 2, 0x02, 0x02, 0x01, 0};
    Append(out, Interface(0, 1, 0x02, 0x02, 0x01));
    Append(out, {5, 0x24, 0x00, 0x20, 0x01});              // header, bcdCDC 1.20
    Append(out, {5, 0x24, 0x01, 0x00, 0x01});              // call management, data interface 1
    Append(out, {4, 0x24, 0x02, 0x02});                    // ACM: line coding and serial state
    Append(out, {5, 0x24, 0x06, 0x00, 0x01});              // union: control 0, subordinate 1
    Append(out, {7, 0x05, 0x83, 0x03, 0x10, 0x00, 0x10});  // interrupt IN, 16 bytes
    Append(out, Interface(1, 2, 0x0A, 0x00, 0x00));
    Append(out, {7, 0x05, 0x81, 0x02, 0x40, 0x00, 0x00});  // bulk IN, 64 bytes
    Append(out, {7, 0x05, 0x02, 0x02, 0x40, 0x00, 0x00});  // bulk OUT, 64 bytes
    return out;
}

Bytes Configuration(const DescriptorConfig& c) {
    Bytes body;
    std::uint8_t interfaces = 1;
    switch (c.layout) {
        case InterfaceLayout::dfu_only:
            body = DfuInterface(c, c.dfuOnlyInterface);
            break;
        case InterfaceLayout::serial_then_dfu:
            body = SerialFunction();
            Append(body, DfuInterface(c, 2));
            interfaces = 3;
            break;
        case InterfaceLayout::vendor_then_dfu:
            body = Interface(0, 0, 0xFF, 0x00, 0x00);
            Append(body, DfuInterface(c, 1));
            interfaces = 2;
            break;
        case InterfaceLayout::serial_only:
            body = SerialFunction();
            interfaces = 2;
            break;
    }
    Bytes out{9, 0x02};
    Le16(out, static_cast<unsigned>(9 + body.size()));
    // One configuration (value 1), bus powered, 100 mA.
    Append(out, {interfaces, 1, 0, 0x80, 50});
    Append(out, body);
    return out;
}

bool HasDfu(InterfaceLayout layout) {
    return layout != InterfaceLayout::serial_only;
}

Bytes Device(const DescriptorConfig& c, bool bos) {
    std::uint8_t cls = 0x00, sub = 0x00, protocol = 0x00;
    if (c.layout == InterfaceLayout::serial_then_dfu) {
        // Interface associations: class EF, subclass 02, protocol 01.
        cls = 0xEF;
        sub = 0x02;
        protocol = 0x01;
    } else if (c.layout == InterfaceLayout::vendor_then_dfu) {
        cls = 0xFF;
    } else if (c.layout == InterfaceLayout::serial_only) {
        cls = 0x02;
    }
    Bytes out{18, 0x01};
    Le16(out, bos ? 0x0201 : 0x0200);
    Append(out, {cls, sub, protocol, 64});
    Le16(out, c.vendor);
    Le16(out, c.product);
    Le16(out, c.release);
    Append(out, {1, 2, static_cast<std::uint8_t>(c.serialNumber.empty() ? 0 : 3), 1});
    return out;
}

// The MS OS 2.0 descriptor set: WinUSB as the compatible ID and the device interface GUID
// WinUSB registers. Device-level features for a device that is not composite; for a composite
// one, a configuration subset with one function subset for the DFU interface.
Bytes MsOs20Set(const DescriptorConfig& c, std::uint8_t dfuInterface) {
    Bytes features;
    Append(features, {20, 0, 0x03, 0});  // compatible ID descriptor
    Append(features, {'W', 'I', 'N', 'U', 'S', 'B', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    if (!c.interfaceGuid.empty()) {
        const Bytes name = Utf16("DeviceInterfaceGUIDs", true);
        Bytes value = Utf16(c.interfaceGuid, true);
        Le16(value, 0);  // REG_MULTI_SZ: the list ends with an empty string
        Bytes property;
        Le16(property, static_cast<unsigned>(10 + name.size() + value.size()));
        Le16(property, 0x04);  // registry property descriptor
        Le16(property, 7);     // REG_MULTI_SZ
        Le16(property, static_cast<unsigned>(name.size()));
        Append(property, name);
        Le16(property, static_cast<unsigned>(value.size()));
        Append(property, value);
        Append(features, property);
    }

    Bytes body;
    if (c.layout == InterfaceLayout::serial_then_dfu) {
        Bytes function{8, 0, 0x02, 0, dfuInterface, 0};  // function subset header
        Le16(function, static_cast<unsigned>(8 + features.size()));
        Append(function, features);
        body = {8, 0, 0x01, 0, 0, 0};  // configuration subset header: configuration index 0
        Le16(body, static_cast<unsigned>(8 + function.size()));
        Append(body, function);
    } else {
        body = features;
    }
    Bytes out{10, 0, 0x00, 0};  // descriptor set header
    Le32(out, 0x06030000);      // Windows 8.1, the first to read MS OS 2.0 descriptors
    Le16(out, static_cast<unsigned>(10 + body.size()));
    Append(out, body);
    return out;
}

Bytes Bos(std::size_t setLength) {
    Bytes out{5, 0x0F};
    Le16(out, 5 + 28);
    out.push_back(1);
    // Platform capability with the MS OS 2.0 UUID {D8DD60DF-4589-4CC7-9CD2-659D9E648A9F}.
    Append(out, {28, 0x10, 0x05, 0});
    Append(out, {0xDF, 0x60, 0xDD, 0xD8, 0x89, 0x45, 0xC7, 0x4C, 0x9C, 0xD2, 0x65, 0x9D, 0x9E, 0x64,
                 0x8A, 0x9F});
    Le32(out, 0x06030000);
    Le16(out, static_cast<unsigned>(setLength));
    Append(out, {kMsOs20VendorCode, 0});  // no alternate enumeration
    return out;
}

}  // namespace

int DfuInterfaceNumber(InterfaceLayout layout, std::uint8_t dfuOnlyInterface) {
    switch (layout) {
        case InterfaceLayout::dfu_only:
            return dfuOnlyInterface;
        case InterfaceLayout::serial_then_dfu:
            return 2;
        case InterfaceLayout::vendor_then_dfu:
            return 1;
        case InterfaceLayout::serial_only:
            break;
    }
    return -1;
}

UsbDescriptors BuildDescriptors(const DescriptorConfig& c) {
    UsbDescriptors d;
    const bool bos = c.msOs20 && HasDfu(c.layout);
    d.device = Device(c, bos);
    d.configuration = Configuration(c);
    d.strings.push_back({4, 0x03, 0x09, 0x04});  // English (United States)
    d.strings.push_back(StringDescriptor(c.manufacturer));
    d.strings.push_back(StringDescriptor(c.productName));
    if (!c.serialNumber.empty()) d.strings.push_back(StringDescriptor(c.serialNumber));
    if (bos) {
        const int dfu = DfuInterfaceNumber(c.layout, c.dfuOnlyInterface);
        d.msOs20 = MsOs20Set(c, static_cast<std::uint8_t>(dfu));
        d.bos = Bos(d.msOs20.size());
    }
    return d;
}

}  // namespace qvdfu
