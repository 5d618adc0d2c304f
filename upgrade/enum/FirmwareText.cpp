#include "upgrade/enum/FirmwareText.h"

#include <cstring>

#include "upgrade/enum/AnsiText.h"
#include "upgrade/enum/DescriptorScan.h"

namespace upgrade {

char DeviceConfigText[kDeviceConfigTextSize];

namespace {

// Conversion scratch for one candidate string. Its last byte is never written by the
// conversion, so the text is always terminated within the buffer.
char ConversionScratch[kDeviceConfigTextSize];

void MatchStringEntry(const UsbStringEntry& entry) {
    std::memset(ConversionScratch, 0, sizeof ConversionScratch);
    const std::uint8_t descriptorLength = entry.StringDescriptor[0];
    // The walk only keeps descriptors of at least two bytes; anything shorter has no text.
    const std::size_t unitCount = descriptorLength >= 2 ? (descriptorLength - 2) / 2 : 0;
    std::size_t written = 0;
    if (!AnsiFromUtf16(entry.StringDescriptor + 2, unitCount, ConversionScratch,
                       sizeof ConversionScratch - 1, &written))
        return;
    UpperCaseAsciiLetters(ConversionScratch);
    if (HasFirmwareMarkers(ConversionScratch))
        std::memcpy(DeviceConfigText, ConversionScratch, std::strlen(ConversionScratch) + 1);
}

}  // namespace

void UpperCaseAsciiLetters(char* text) {
    for (; *text != '\0'; ++text) {
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
    }
}

bool HasFirmwareMarkers(const char* text) {
    return std::strstr(text, "FW:") != nullptr && std::strstr(text, "PSR:") != nullptr;
}

void FindFirmwareText(const std::uint8_t* descriptorSet, std::size_t setSize,
                      const UsbStringEntry* stringList) {
    if (setSize <= sizeof(UsbDescriptorRequest)) return;
    const std::uint8_t* set = descriptorSet + sizeof(UsbDescriptorRequest);
    const std::size_t available = setSize - sizeof(UsbDescriptorRequest);
    DescriptorScan scan(set, ConfigurationSetLength(set, available));
    const std::uint8_t* descriptor = nullptr;
    while (scan.Next(&descriptor)) {
        if (descriptor[1] != kConfigurationDescriptorType ||
            descriptor[0] != kConfigurationDescriptorLength)
            continue;
        const std::uint8_t configurationIndex = descriptor[kConfigurationStringIndexOffset];
        if (configurationIndex == 0) continue;
        for (const UsbStringEntry* entry = stringList; entry != nullptr; entry = entry->Next) {
            if (entry->DescriptorIndex == configurationIndex) MatchStringEntry(*entry);
        }
    }
}

}  // namespace upgrade
