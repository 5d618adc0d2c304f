// On POSIX the program's 8-bit text is UTF-8.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "upgrade/enum/AnsiText.h"

namespace upgrade {
namespace {

std::vector<std::uint8_t> Le(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

std::string Convert(const std::u16string& text, std::size_t capacity) {
    const auto bytes = Le(text);
    std::string output(capacity, '\0');
    std::size_t written = 0;
    EXPECT_TRUE(AnsiFromUtf16(bytes.data(), text.size(), output.data(), capacity, &written));
    output.resize(written);
    return output;
}

TEST(AnsiTextPosixTest, ConvertsToUtf8) {
    EXPECT_EQ(Convert(u"A\u00e9\u20ac\U0001F600", 16), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(Convert(u"", 4), "");
}

TEST(AnsiTextPosixTest, UnpairedSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(Convert(std::u16string{0xD800, u'x', 0xDC00}, 16), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_EQ(Convert(std::u16string{u'x', 0xD83D}, 16), "x\xEF\xBF\xBD");
}

TEST(AnsiTextPosixTest, CutsAtTheLastWholeCharacterThatFits) {
    EXPECT_EQ(Convert(u"a\u00e9\u20ac", 5), "a\xC3\xA9");
    EXPECT_EQ(Convert(u"\U0001F600", 3), "");
    const auto bytes = Le(u"a\u00e9\u20ac");
    std::size_t needed = 0;
    EXPECT_TRUE(AnsiFromUtf16(bytes.data(), 3, nullptr, 0, &needed));
    EXPECT_EQ(needed, 6u);
}

}  // namespace
}  // namespace upgrade
