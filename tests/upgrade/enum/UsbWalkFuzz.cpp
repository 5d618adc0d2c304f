// libFuzzer target: the descriptor scan and the string matching, alone and inside the whole
// walk over a simulated device whose descriptors come from the fuzzer's input.
//
// Input: 3 bytes of device string indexes, a 16-bit length and that many bytes of
// configuration descriptor set, then string descriptors as records of
// [index, language low, language high, length, bytes...].
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/usbtree/SimulatedUsbTree.h"
#include "upgrade/enum/FirmwareText.h"
#include "upgrade/enum/UsbWalk.h"

namespace {

using upgrade::sim::Bytes;

class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    Bytes Take(std::size_t count) {
        count = std::min(count, size_ - at_);
        Bytes bytes(data_ + at_, data_ + at_ + count);
        at_ += count;
        return bytes;
    }
    bool Empty() const { return at_ >= size_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    upgrade::sim::SimDevice device;
    const std::uint8_t iManufacturer = input.Byte();
    const std::uint8_t iProduct = input.Byte();
    const std::uint8_t iSerialNumber = input.Byte();
    device.deviceDescriptor =
        upgrade::sim::DeviceDescriptorBytes(iManufacturer, iProduct, iSerialNumber);
    const std::size_t setLength = input.Byte() | (input.Byte() << 8);
    const Bytes set = input.Take(setLength);
    device.configurations.push_back(set);

    // The same strings as a list for the direct match, and as the device's string table.
    std::vector<upgrade::UsbStringEntry> entries;
    while (!input.Empty()) {
        const std::uint8_t index = input.Byte();
        const std::uint16_t language =
            static_cast<std::uint16_t>(input.Byte() | (input.Byte() << 8));
        const Bytes descriptor = input.Take(input.Byte());
        device.strings[{index, index == 0 ? 0 : language}] = descriptor;
        upgrade::UsbStringEntry entry{};
        entry.DescriptorIndex = index;
        entry.LanguageId = language;
        if (!descriptor.empty())
            std::memcpy(entry.StringDescriptor, descriptor.data(),
                        std::min(descriptor.size(), sizeof entry.StringDescriptor));
        entries.push_back(entry);
    }
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) entries[i].Next = &entries[i + 1];

    // The match on its own, with the set behind a request header as the walk holds it.
    Bytes held(12, 0);
    held.insert(held.end(), set.begin(), set.end());
    std::memset(upgrade::DeviceConfigText, 0, sizeof upgrade::DeviceConfigText);
    upgrade::FindFirmwareText(held.data(), held.size(), entries.empty() ? nullptr : &entries[0]);
    Require(std::memchr(upgrade::DeviceConfigText, 0, sizeof upgrade::DeviceConfigText) != nullptr);

    // The whole walk, with the device on a root hub and again behind an external hub.
    upgrade::sim::SimulatedUsbTree tree;
    tree.logRequests = false;
    upgrade::sim::SimHub& root = tree.AddController(0, "ROOT", 2);
    tree.Plug(root, 1, device);
    upgrade::sim::SimHub& hub = tree.PlugHub(root, 2, "HUB", 1);
    tree.Plug(hub, 1, device);
    std::memset(upgrade::DeviceConfigText, 0, sizeof upgrade::DeviceConfigText);
    upgrade::WalkUsbDeviceTree(tree);
    Require(std::memchr(upgrade::DeviceConfigText, 0, sizeof upgrade::DeviceConfigText) != nullptr);
    Require(tree.OpenHandles() == 0 && tree.LiveRecords() == 0 && tree.Misuses() == 0);
    return 0;
}
