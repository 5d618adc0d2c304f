// The walk over host controllers, hubs and ports. Every record comes from the driver layer's
// allocator and is released by the walk before it returns; every node opened is closed. The
// small owner classes below make that hold on every early return.
#include "upgrade/enum/UsbWalk.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "upgrade/enum/AnsiText.h"
#include "upgrade/enum/DescriptorScan.h"

namespace upgrade {
namespace {

constexpr char kDevicePathPrefix[] = "\\\\.\\";  // the four characters \\.\ (backslash)

// Windows device names never come near this; a reported name length beyond it is a driver
// fault and gives no name rather than a huge allocation.
constexpr std::uint32_t kMaxNameRecordSize = 8 + 2 * 32768;

// GET_DESCRIPTOR wValue: descriptor type in the high byte, index in the low byte.
constexpr std::uint16_t kConfigurationDescriptorZero = 0x0200;
constexpr std::uint16_t kStringDescriptorBase = 0x0300;

// One allocation of the walk, released when its owner goes.
class Record {
  public:
    Record() = default;
    Record(UsbHostDriver& driver, std::size_t size)
        : driver_(&driver), bytes_(static_cast<std::uint8_t*>(driver.AllocateRecord(size))) {
        size_ = bytes_ != nullptr ? size : 0;
    }
    Record(Record&& other) noexcept { *this = std::move(other); }
    Record& operator=(Record&& other) noexcept {
        if (this != &other) {
            Reset();
            driver_ = other.driver_;
            bytes_ = std::exchange(other.bytes_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record() { Reset(); }

    void Reset() {
        if (bytes_ != nullptr) driver_->ReleaseRecord(bytes_);
        bytes_ = nullptr;
        size_ = 0;
    }
    explicit operator bool() const { return bytes_ != nullptr; }
    std::uint8_t* Bytes() const { return bytes_; }
    std::uint32_t Size() const { return static_cast<std::uint32_t>(size_); }
    const char* Text() const { return reinterpret_cast<const char*>(bytes_); }
    template <typename T>
    T* As() const {
        return reinterpret_cast<T*>(bytes_);
    }

  private:
    UsbHostDriver* driver_ = nullptr;
    std::uint8_t* bytes_ = nullptr;
    std::size_t size_ = 0;
};

// The string descriptors read from one device, in reading order; owns its entries.
class StringList {
  public:
    explicit StringList(UsbHostDriver& driver) : driver_(&driver) {}
    StringList(StringList&& other) noexcept
        : driver_(other.driver_),
          head_(std::exchange(other.head_, nullptr)),
          tail_(std::exchange(other.tail_, nullptr)) {}
    StringList& operator=(StringList&& other) noexcept {
        if (this != &other) {
            Clear();
            driver_ = other.driver_;
            head_ = std::exchange(other.head_, nullptr);
            tail_ = std::exchange(other.tail_, nullptr);
        }
        return *this;
    }
    StringList(const StringList&) = delete;
    StringList& operator=(const StringList&) = delete;
    ~StringList() { Clear(); }

    void Append(UsbStringEntry* entry) {
        entry->Next = nullptr;
        if (tail_ != nullptr)
            tail_->Next = entry;
        else
            head_ = entry;
        tail_ = entry;
    }
    const UsbStringEntry* Head() const { return head_; }

  private:
    void Clear() {
        while (head_ != nullptr) driver_->ReleaseRecord(std::exchange(head_, head_->Next));
        tail_ = nullptr;
    }

    UsbHostDriver* driver_;
    UsbStringEntry* head_ = nullptr;
    UsbStringEntry* tail_ = nullptr;
};

// An open controller or hub, closed when its owner goes (or earlier, by Close).
class OpenNode {
  public:
    OpenNode(UsbHostDriver& driver, const char* devicePath)
        : driver_(driver), handle_(driver.OpenNode(devicePath)) {}
    OpenNode(const OpenNode&) = delete;
    OpenNode& operator=(const OpenNode&) = delete;
    ~OpenNode() { Close(); }

    explicit operator bool() const { return handle_ != nullptr; }
    UsbNodeHandle Get() const { return handle_; }
    void Close() {
        if (handle_ != nullptr) driver_.CloseNode(std::exchange(handle_, nullptr));
    }

  private:
    UsbHostDriver& driver_;
    UsbNodeHandle handle_;
};

// The records of one visited port. A hub reached through the port takes them over.
struct PortRecords {
    explicit PortRecords(UsbHostDriver& driver) : strings(driver) {}
    Record connection;
    Record configurationSet;
    StringList strings;
};

class TreeWalk {
  public:
    explicit TreeWalk(UsbHostDriver& driver) : driver_(driver) {}

    void Run() {
        for (int number = 0; number < kHostControllerCount; ++number) VisitController(number);
    }

  private:
    void VisitController(int number) {
        char path[16];
        std::snprintf(path, sizeof path, "%sHCD%d", kDevicePathPrefix, number);
        OpenNode controller(driver_, path);
        if (!controller) return;
        const Record rootHubName = ReadRootHubName(controller.Get());
        if (rootHubName) VisitHub(rootHubName.Text(), nullptr, 1);
    }

    // Visits a hub and its ports. `upstreamPort` holds the records of the port the hub was
    // reached through (none for a root hub); they live as long as the hub's visit, and that
    // port's configuration strings are matched only after the hub's own ports were visited.
    void VisitHub(const char* hubName, PortRecords* upstreamPort, int tier) {
        Record path(driver_, sizeof kDevicePathPrefix + std::strlen(hubName));
        if (!path) return;
        std::snprintf(reinterpret_cast<char*>(path.Bytes()), path.Size(), "%s%s", kDevicePathPrefix,
                      hubName);
        OpenNode hub(driver_, path.Text());
        if (!hub) return;
        Record nodeInformation(driver_, sizeof(UsbNodeInformation));
        if (!nodeInformation) return;
        std::uint32_t returned = 0;
        if (!driver_.GetNodeInformation(hub.Get(), nodeInformation.Bytes(), nodeInformation.Size(),
                                        &returned))
            return;
        const unsigned portCount =
            nodeInformation.As<UsbNodeInformation>()->HubDescriptor.bNumberOfPorts;
        for (unsigned port = 1; port <= portCount; ++port) {
            if (!VisitPort(hub.Get(), port, tier)) break;
        }
        hub.Close();
        if (upstreamPort != nullptr && upstreamPort->configurationSet) MatchPort(*upstreamPort);
    }

    // Returns false when the rest of the hub's ports must be skipped.
    bool VisitPort(UsbNodeHandle hub, unsigned port, int tier) {
        PortRecords records(driver_);
        records.connection = Record(driver_, kConnectionInformationBufferSize);
        if (!records.connection) return false;
        auto* connection = records.connection.As<UsbNodeConnectionInformation>();
        connection->ConnectionIndex = port;
        std::uint32_t returned = 0;
        if (!driver_.GetNodeConnectionInformation(hub, records.connection.Bytes(),
                                                  records.connection.Size(), &returned))
            return true;

        if (connection->ConnectionStatus == kDeviceConnected)
            records.configurationSet = ReadConfigurationSet(hub, port);
        if (records.configurationSet &&
            HasStringIndexes(connection->DeviceDescriptor, records.configurationSet))
            records.strings =
                ReadStringList(hub, port, connection->DeviceDescriptor, records.configurationSet);

        if (connection->DeviceIsHub != 0 && tier < kMaxHubTier) {
            const Record hubName = ReadDownstreamHubName(hub, port);
            if (hubName) {
                VisitHub(hubName.Text(), &records, tier + 1);
                return true;
            }
        }
        if (records.configurationSet) MatchPort(records);
        return true;
    }

    void MatchPort(const PortRecords& records) {
        FindFirmwareText(records.configurationSet.Bytes(), records.configurationSet.Size(),
                         records.strings.Head());
    }

    Record ReadRootHubName(UsbNodeHandle controller) {
        Record probe(driver_, sizeof(UsbRootHubName));
        std::uint32_t returned = 0;
        if (!probe || !driver_.GetRootHubName(controller, probe.Bytes(), probe.Size(), &returned))
            return {};
        const std::uint32_t actualLength = probe.As<UsbRootHubName>()->ActualLength;
        if (actualLength < sizeof(UsbRootHubName) || actualLength > kMaxNameRecordSize) return {};
        Record full(driver_, actualLength);
        if (!full || !driver_.GetRootHubName(controller, full.Bytes(), full.Size(), &returned))
            return {};
        constexpr std::size_t kNameOffset = offsetof(UsbRootHubName, RootHubName);
        return NameFromUtf16(full.Bytes() + kNameOffset, full.Size() - kNameOffset);
    }

    Record ReadDownstreamHubName(UsbNodeHandle hub, unsigned port) {
        Record probe(driver_, sizeof(UsbNodeConnectionName));
        if (!probe) return {};
        probe.As<UsbNodeConnectionName>()->ConnectionIndex = port;
        std::uint32_t returned = 0;
        if (!driver_.GetNodeConnectionName(hub, probe.Bytes(), probe.Size(), &returned)) return {};
        const std::uint32_t actualLength = probe.As<UsbNodeConnectionName>()->ActualLength;
        if (actualLength <= sizeof(UsbNodeConnectionName) || actualLength > kMaxNameRecordSize)
            return {};
        Record full(driver_, actualLength);
        if (!full) return {};
        full.As<UsbNodeConnectionName>()->ConnectionIndex = port;
        if (!driver_.GetNodeConnectionName(hub, full.Bytes(), full.Size(), &returned)) return {};
        constexpr std::size_t kNameOffset = offsetof(UsbNodeConnectionName, NodeName);
        return NameFromUtf16(full.Bytes() + kNameOffset, full.Size() - kNameOffset);
    }

    // Converts a driver-reported UTF-16 name of at most `byteCount` bytes to zero-terminated
    // 8-bit text. The name ends at its terminator or at the end of the record, whichever
    // comes first: a driver that leaves out the terminator cannot make the walk read on.
    Record NameFromUtf16(const std::uint8_t* name, std::size_t byteCount) {
        std::size_t unitCount = 0;
        while (unitCount < byteCount / 2 && ReadLe16(name + 2 * unitCount) != 0) ++unitCount;
        std::size_t needed = 0;
        if (!AnsiFromUtf16(name, unitCount, nullptr, 0, &needed)) return {};
        Record text(driver_, needed + 1);
        std::size_t written = 0;
        if (!text || !AnsiFromUtf16(name, unitCount, reinterpret_cast<char*>(text.Bytes()), needed,
                                    &written))
            return {};
        return text;
    }

    static void SetDescriptorRequest(const Record& request, unsigned port, std::uint16_t value,
                                     std::uint16_t languageId, std::uint16_t length) {
        auto* header = request.As<UsbDescriptorRequest>();
        header->ConnectionIndex = port;
        header->SetupPacket.bmRequest = 0;
        header->SetupPacket.bRequest = 0;
        header->SetupPacket.wValue = value;
        header->SetupPacket.wIndex = languageId;
        header->SetupPacket.wLength = length;
    }

    // Two steps: the 9-byte configuration descriptor for wTotalLength, then the whole set.
    Record ReadConfigurationSet(UsbNodeHandle hub, unsigned port) {
        constexpr std::size_t kHeader = sizeof(UsbDescriptorRequest);
        Record probe(driver_, kHeader + kConfigurationDescriptorLength);
        if (!probe) return {};
        SetDescriptorRequest(probe, port, kConfigurationDescriptorZero, 0,
                             kConfigurationDescriptorLength);
        std::uint32_t returned = 0;
        if (!driver_.GetDescriptorFromNodeConnection(hub, probe.Bytes(), probe.Size(), &returned) ||
            returned != probe.Size())
            return {};
        const std::uint16_t totalLength = ReadLe16(probe.Bytes() + kHeader + 2);
        if (totalLength <= 8) return {};
        probe.Reset();

        Record set(driver_, kHeader + totalLength);
        if (!set) return {};
        SetDescriptorRequest(set, port, kConfigurationDescriptorZero, 0, totalLength);
        if (!driver_.GetDescriptorFromNodeConnection(hub, set.Bytes(), set.Size(), &returned) ||
            returned != set.Size() || ReadLe16(set.Bytes() + kHeader + 2) != totalLength)
            return {};
        return set;
    }

    static const std::uint8_t* Descriptors(const Record& set) {
        return set.Bytes() + sizeof(UsbDescriptorRequest);
    }
    static std::size_t DescriptorsLength(const Record& set) {
        return set.Size() - sizeof(UsbDescriptorRequest);
    }

    static bool HasStringIndexes(const UsbDeviceDescriptor& device, const Record& set) {
        if (device.iManufacturer != 0 || device.iProduct != 0 || device.iSerialNumber != 0)
            return true;
        bool found = false;
        ForEachDescriptorStringIndex(Descriptors(set), DescriptorsLength(set),
                                     [&found](std::uint8_t) { found = true; });
        return found;
    }

    // String 0 for the language IDs, then every string index of the device and of the set in
    // every language, keeping the descriptors that were read.
    StringList ReadStringList(UsbNodeHandle hub, unsigned port, const UsbDeviceDescriptor& device,
                              const Record& set) {
        StringList list(driver_);
        Record request(driver_, sizeof(UsbDescriptorRequest) + kMaxStringDescriptorLength);
        if (!request) return list;
        UsbStringEntry* languages = ReadString(hub, port, 0, 0, request);
        if (languages == nullptr) return list;
        list.Append(languages);
        const std::size_t languageCount = (languages->StringDescriptor[0] - 2) / 2;

        auto readEveryLanguage = [&](std::uint8_t index) {
            for (std::size_t i = 0; i < languageCount; ++i) {
                const std::uint16_t languageId = ReadLe16(languages->StringDescriptor + 2 + 2 * i);
                if (UsbStringEntry* entry = ReadString(hub, port, index, languageId, request))
                    list.Append(entry);
            }
        };
        for (const std::uint8_t index :
             {device.iManufacturer, device.iProduct, device.iSerialNumber}) {
            if (index != 0) readEveryLanguage(index);
        }
        ForEachDescriptorStringIndex(Descriptors(set), DescriptorsLength(set), readEveryLanguage);
        return list;
    }

    // One string descriptor into a fresh list entry, or null when it was not read whole. The
    // reply must be a string descriptor whose even bLength (at least 2, so that its text
    // length is never negative) matches the bytes returned.
    UsbStringEntry* ReadString(UsbNodeHandle hub, unsigned port, std::uint8_t index,
                               std::uint16_t languageId, const Record& request) {
        std::memset(request.Bytes(), 0, request.Size());
        SetDescriptorRequest(request, port, kStringDescriptorBase | index, languageId,
                             kMaxStringDescriptorLength);
        std::uint32_t returned = 0;
        if (!driver_.GetDescriptorFromNodeConnection(hub, request.Bytes(), request.Size(),
                                                     &returned))
            return nullptr;
        const std::uint8_t* descriptor = request.Bytes() + sizeof(UsbDescriptorRequest);
        const std::uint8_t length = descriptor[0];
        if (returned <= 1 || descriptor[1] != kStringDescriptorType ||
            returned != length + sizeof(UsbDescriptorRequest) || length % 2 != 0 || length < 2)
            return nullptr;
        auto* entry = static_cast<UsbStringEntry*>(driver_.AllocateRecord(sizeof(UsbStringEntry)));
        if (entry == nullptr) return nullptr;
        entry->Next = nullptr;
        entry->DescriptorIndex = index;
        entry->LanguageId = languageId;
        std::memcpy(entry->StringDescriptor, descriptor, length);
        return entry;
    }

    UsbHostDriver& driver_;
};

}  // namespace

void WalkUsbDeviceTree(UsbHostDriver& driver) {
    TreeWalk(driver).Run();
}

void WalkUsbDeviceTree() {
    WalkUsbDeviceTree(PlatformUsbHostDriver());
}

}  // namespace upgrade
