// Matching the configuration strings of one device against the two markers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "upgrade/enum/FirmwareText.h"

namespace upgrade {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A descriptor set as the walk holds it: the 12-byte request header, then the descriptors.
Bytes SetWithConfiguration(std::uint8_t iConfiguration, std::uint8_t length = 9) {
    Bytes set(12, 0);
    const Bytes configuration{length, 2, 18, 0, 1, 1, iConfiguration, 0x80, 50};
    set.insert(set.end(), configuration.begin(), configuration.end());
    set.resize(12 + std::max<std::size_t>(length, 9), 0);
    const Bytes interface { 9, 4, 0, 0, 1, 3, 0, 0, iConfiguration };
    set.insert(set.end(), interface.begin(), interface.end());
    set[12 + 2] = static_cast<std::uint8_t>(set.size() - 12);
    return set;
}

class StringListBuilder {
  public:
    StringListBuilder& Add(std::uint8_t index, const std::u16string& text,
                           std::uint16_t language = 0x0409) {
        auto entry = std::make_unique<UsbStringEntry>();
        std::memset(entry.get(), 0, sizeof(UsbStringEntry));
        entry->DescriptorIndex = index;
        entry->LanguageId = language;
        entry->StringDescriptor[0] = static_cast<std::uint8_t>(2 + 2 * text.size());
        entry->StringDescriptor[1] = 3;
        for (std::size_t i = 0; i < text.size(); ++i) {
            entry->StringDescriptor[2 + 2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
            entry->StringDescriptor[3 + 2 * i] = static_cast<std::uint8_t>(text[i] >> 8);
        }
        if (!entries_.empty()) entries_.back()->Next = entry.get();
        entries_.push_back(std::move(entry));
        return *this;
    }
    const UsbStringEntry* Head() const { return entries_.empty() ? nullptr : entries_[0].get(); }

  private:
    std::vector<std::unique_ptr<UsbStringEntry>> entries_;
};

class FirmwareTextTest : public ::testing::Test {
  protected:
    void SetUp() override { std::memset(DeviceConfigText, 0, sizeof DeviceConfigText); }
    std::string Find(const Bytes& set, const StringListBuilder& strings) {
        FindFirmwareText(set.data(), set.size(), strings.Head());
        return DeviceConfigText;
    }
};

struct MarkerCase {
    const char16_t* text;
    const char* expected;
};

// The text names the case. Square brackets are written as \x5B and \x5D: ctest cannot label a
// test whose name holds one.
void PrintTo(const MarkerCase& c, std::ostream* out) {
    *out << '"';
    for (const char16_t* unit = c.text; *unit != 0; ++unit) {
        if (*unit == u'[' || *unit == u']')
            *out << (*unit == u'[' ? "\\x5B" : "\\x5D");
        else
            *out << static_cast<char>(*unit);
    }
    *out << '"';
}

class MarkerTest : public FirmwareTextTest, public ::testing::WithParamInterface<MarkerCase> {};

TEST_P(MarkerTest, BothMarkersAnywhereInEitherCase) {
    EXPECT_EQ(Find(SetWithConfiguration(4), StringListBuilder().Add(4, GetParam().text)),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MarkerTest,
    ::testing::Values(MarkerCase{u"FW:kx.dfu PSR:kx.psr", "FW:KX.DFU PSR:KX.PSR"},
                      MarkerCase{u"psr:b.psr;fw:a.dfu", "PSR:B.PSR;FW:A.DFU"},
                      MarkerCase{u"xxfw:psr:", "XXFW:PSR:"},
                      MarkerCase{u"Fw:1 pSr:2 {az}[AZ]@`", "FW:1 PSR:2 {AZ}[AZ]@`"},
                      MarkerCase{u"FW:only.dfu", ""}, MarkerCase{u"PSR:only.psr", ""},
                      MarkerCase{u"FW PSR", ""}, MarkerCase{u"F W: PS R:", ""},
                      MarkerCase{u"FW; PSR:", ""}, MarkerCase{u"", ""}));

TEST_F(FirmwareTextTest, LastMatchingEntryOfTheIndexWinsAndOthersAreIgnored) {
    StringListBuilder strings;
    strings.Add(1, u"FW:MAKER PSR:1")
        .Add(4, u"fw:en psr:1", 0x0409)
        .Add(5, u"FW:INTERFACE PSR:5")
        .Add(4, u"fw:zh psr:2", 0x0404)
        .Add(4, u"no markers", 0x0407);
    EXPECT_EQ(Find(SetWithConfiguration(4), strings), "FW:ZH PSR:2");
}

TEST_F(FirmwareTextTest, NoMatchLeavesTheTextUntouched) {
    std::strcpy(DeviceConfigText, "EARLIER");
    EXPECT_EQ(Find(SetWithConfiguration(4), StringListBuilder().Add(4, u"plain")), "EARLIER");
    EXPECT_EQ(Find(SetWithConfiguration(0), StringListBuilder().Add(0, u"FW:A PSR:B")), "EARLIER");
    EXPECT_EQ(Find(SetWithConfiguration(4), StringListBuilder()), "EARLIER");
}

TEST_F(FirmwareTextTest, ConfigurationDescriptorOfAnotherLengthIsSkipped) {
    for (const std::uint8_t length : {7, 8, 10}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(Find(SetWithConfiguration(4, length), StringListBuilder().Add(4, u"FW:A PSR:B")),
                  "");
    }
}

TEST_F(FirmwareTextTest, LyingTotalLengthOrShortBufferIsReadOnlyWithinTheBuffer) {
    Bytes set = SetWithConfiguration(4);
    set[12 + 2] = 0xFF;
    set[12 + 3] = 0xFF;
    EXPECT_EQ(Find(set, StringListBuilder().Add(4, u"FW:A PSR:B")), "FW:A PSR:B");
    for (const std::size_t size : {0, 5, 12, 14}) {
        FindFirmwareText(set.data(), size, StringListBuilder().Add(4, u"FW:X PSR:Y").Head());
    }
    EXPECT_STREQ(DeviceConfigText, "FW:A PSR:B");
}

TEST_F(FirmwareTextTest, EmbeddedZeroEndsTheText) {
    EXPECT_EQ(Find(SetWithConfiguration(4),
                   StringListBuilder().Add(4, std::u16string(u"FW:A\0PSR:B", 10))),
              "");
}

TEST_F(FirmwareTextTest, LongestStringFitsWithItsTerminator) {
    const std::u16string text = u"fw:" + std::u16string(119, u'a') + u"psr:";  // 126 units
    EXPECT_EQ(Find(SetWithConfiguration(4), StringListBuilder().Add(4, text)),
              "FW:" + std::string(119, 'A') + "PSR:");
}

}  // namespace
}  // namespace upgrade
