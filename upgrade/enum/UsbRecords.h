// Byte-exact layouts of the records exchanged with the Windows USB host-controller and hub
// drivers, and of the string list the walk keeps per device.
//
// The driver records are packed and little-endian, as the Windows headers declare them
// (usbioctl.h wraps them in pshpack1.h). Every back end fills and reads them through these
// definitions, so the simulated tree and the sysfs layer answer with exactly the bytes the
// Windows drivers would give.
#pragma once

#include <cstddef>
#include <cstdint>

namespace upgrade {

#pragma pack(push, 1)

// Standard USB 2.0 device descriptor (chapter 9.6.1), 18 bytes.
struct UsbDeviceDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint16_t bcdUSB;
    std::uint8_t bDeviceClass;
    std::uint8_t bDeviceSubClass;
    std::uint8_t bDeviceProtocol;
    std::uint8_t bMaxPacketSize0;
    std::uint16_t idVendor;
    std::uint16_t idProduct;
    std::uint16_t bcdDevice;
    std::uint8_t iManufacturer;
    std::uint8_t iProduct;
    std::uint8_t iSerialNumber;
    std::uint8_t bNumConfigurations;
};

// USB_PIPE_INFO: an endpoint descriptor (7 bytes) and the schedule offset.
struct UsbPipeInfo {
    std::uint8_t EndpointDescriptor[7];
    std::uint32_t ScheduleOffset;
};

// USB_NODE_CONNECTION_INFORMATION without its pipe list.
struct UsbNodeConnectionInformation {
    std::uint32_t ConnectionIndex;
    UsbDeviceDescriptor DeviceDescriptor;
    std::uint8_t CurrentConfigurationValue;
    std::uint8_t LowSpeed;
    std::uint8_t DeviceIsHub;
    std::uint16_t DeviceAddress;
    std::uint32_t NumberOfOpenPipes;
    std::uint32_t ConnectionStatus;
};

// The 8-byte setup packet of a control request (USB 2.0 chapter 9.3).
struct UsbSetupPacket {
    std::uint8_t bmRequest;
    std::uint8_t bRequest;
    std::uint16_t wValue;
    std::uint16_t wIndex;
    std::uint16_t wLength;
};

// USB_DESCRIPTOR_REQUEST: the header in front of the descriptor bytes of a request.
struct UsbDescriptorRequest {
    std::uint32_t ConnectionIndex;
    UsbSetupPacket SetupPacket;
};

// USB_HUB_DESCRIPTOR as the hub driver reports it.
struct UsbHubDescriptor {
    std::uint8_t bDescriptorLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bNumberOfPorts;
    std::uint16_t wHubCharacteristics;
    std::uint8_t bPowerOnToPowerGood;
    std::uint8_t bHubControlCurrent;
    std::uint8_t bRemoveAndPowerMask[64];
};

// USB_NODE_INFORMATION with its hub-information member (the only one a hub reports).
struct UsbNodeInformation {
    std::uint32_t NodeType;  // 0: UsbHub, 1: UsbMIParent
    UsbHubDescriptor HubDescriptor;
    std::uint8_t HubIsBusPowered;
};

// USB_ROOT_HUB_NAME: the actual length of the whole record in bytes, then the UTF-16 name.
struct UsbRootHubName {
    std::uint32_t ActualLength;
    std::uint16_t RootHubName[1];
};

// USB_NODE_CONNECTION_NAME: port number, length of the whole record, UTF-16 name.
struct UsbNodeConnectionName {
    std::uint32_t ConnectionIndex;
    std::uint32_t ActualLength;
    std::uint16_t NodeName[1];
};

#pragma pack(pop)

static_assert(sizeof(UsbDeviceDescriptor) == 18, "device descriptor is 18 bytes");
static_assert(sizeof(UsbPipeInfo) == 11, "pipe record is 11 bytes");
static_assert(sizeof(UsbNodeConnectionInformation) == 35, "connection information is 35 bytes");
static_assert(offsetof(UsbNodeConnectionInformation, DeviceIsHub) == 24, "DeviceIsHub at 24");
static_assert(offsetof(UsbNodeConnectionInformation, ConnectionStatus) == 31,
              "ConnectionStatus at 31");
static_assert(sizeof(UsbSetupPacket) == 8, "setup packet is 8 bytes");
static_assert(sizeof(UsbDescriptorRequest) == 12, "descriptor request header is 12 bytes");
static_assert(sizeof(UsbHubDescriptor) == 71, "hub descriptor is 71 bytes");
static_assert(sizeof(UsbNodeInformation) == 76, "node information is 76 bytes");
static_assert(offsetof(UsbNodeInformation, HubDescriptor.bNumberOfPorts) == 6,
              "bNumberOfPorts at 6");
static_assert(sizeof(UsbRootHubName) == 6, "root hub name record starts with 6 bytes");
static_assert(sizeof(UsbNodeConnectionName) == 10, "connection name record starts with 10 bytes");
static_assert(offsetof(UsbNodeConnectionName, NodeName) == 8, "connection name text at 8");

// The connection-information buffer of one port: the record and room for 30 pipes.
constexpr std::size_t kMaxPipesPerConnection = 30;
constexpr std::size_t kConnectionInformationBufferSize =
    sizeof(UsbNodeConnectionInformation) + kMaxPipesPerConnection * sizeof(UsbPipeInfo);
static_assert(kConnectionInformationBufferSize == 365, "connection buffer is 365 bytes");

// ConnectionStatus values used by the walk (USB_CONNECTION_STATUS).
constexpr std::uint32_t kNoDeviceConnected = 0;
constexpr std::uint32_t kDeviceConnected = 1;

// Descriptor types (USB 2.0 table 9-5) and the hub class descriptor type.
constexpr std::uint8_t kDeviceDescriptorType = 1;
constexpr std::uint8_t kConfigurationDescriptorType = 2;
constexpr std::uint8_t kStringDescriptorType = 3;
constexpr std::uint8_t kInterfaceDescriptorType = 4;
constexpr std::uint8_t kHubDescriptorType = 0x29;
constexpr std::uint8_t kHubDeviceClass = 9;

// A string descriptor is at most 255 bytes: bLength, type 3, then UTF-16LE text.
constexpr std::size_t kMaxStringDescriptorLength = 255;

// One string descriptor the walk has read from a device, in a singly linked list kept in the
// order of reading.
struct UsbStringEntry {
    UsbStringEntry* Next;
    std::uint8_t DescriptorIndex;
    std::uint16_t LanguageId;
    std::uint8_t StringDescriptor[kMaxStringDescriptorLength];
};

// Little-endian 16-bit field of a USB descriptor, read byte by byte (descriptor fields are
// not aligned).
inline std::uint16_t ReadLe16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

}  // namespace upgrade
