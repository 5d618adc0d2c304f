// The firmware file's name read in the path's code page: Big5 (950) and GBK (936) characters
// whose second byte equals a backslash (0x5C) or a lower-case letter (0x61-0x7A) stay whole.
#include <gtest/gtest.h>

#include <string>

#include "upgrade/filename/FirmwareFileName.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using upgrade::CodePage;
using upgrade::kCodePageBig5;
using upgrade::kCodePageGbk;
using upgrade::kCodePageUtf8;

constexpr CodePage kCodePageWestern = 1252;

// Trail bytes that are also ASCII characters the checks look for.
std::string AsciiLookingTrailBytes() {
    std::string trails = "\\";
    for (char c = 'a'; c <= 'z'; ++c) trails += c;
    return trails;
}

TEST(FirmwareFileNameTest, DoubleByteCharactersStayWholeInBothCodePages) {
    for (CodePage cp : {kCodePageBig5, kCodePageGbk}) {
        for (unsigned char lead : {0x81, 0xA5, 0xFE}) {
            for (char trail : AsciiLookingTrailBytes()) {
                const std::string wide{static_cast<char>(lead), trail};
                SCOPED_TRACE(testing::Message() << "code page " << cp << ", bytes " << std::hex
                                                << int(lead) << " " << int(trail & 0xFF));
                EXPECT_EQ(upgrade::UpperAsciiLetters(cp, "a" + wide + "z"), "A" + wide + "Z");
                EXPECT_EQ(upgrade::FileNameOfPath(cp, "C:\\d" + wide + "\\n" + wide), "n" + wide);
            }
        }
    }
}

TEST(FirmwareFileNameTest, FileNameMatchesTheModelInThePathsCodePage) {
    struct Case {
        CodePage cp;
        const char* path;
        const char* model;
        bool matches;
    } cases[] = {
        // Big5: 0xA5 0x5C is one character, not a character and a backslash.
        {kCodePageBig5, "C:\\fw\\KX-V5_\xA5\x5C.dfu", "KX-V5", true},
        {kCodePageBig5, "C:\\\xA5\x5C\\kx-v5_v1.dfu", "KX-V5", true},
        {kCodePageBig5, "C:\\fw\\X\xA5\x5CKX-V5_v1.dfu", "KX-V5", false},
        // Big5: 0xA4 0x61 and 0xA4 0x41 are two different characters.
        {kCodePageBig5, "C:\\fw\\\xA4\x61_v1.dfu", "\xA4\x41", false},
        {kCodePageBig5, "C:\\fw\\\xA4\x61_v1.dfu", "\xA4\x61", true},
        // A lead byte at the end of the path stands alone.
        {kCodePageBig5, "C:\\fw\\KX-V5_\xA5", "KX-V5", true},
        // GBK: the same rules with its own lead bytes.
        {kCodePageGbk, "D:\\KX-V5_\x81\x5C.dfu", "kx-v5", true},
        {kCodePageGbk, "D:\\X\x81\x5CKX-V5_v1.dfu", "KX-V5", false},
        {kCodePageGbk, "D:\\\xB0\x61_1.dfu", "\xB0\x41", false},
        // Single-byte code pages and UTF-8: every backslash separates.
        {kCodePageWestern, "C:\\fw\\X\xA5\\KX-V5_v1.dfu", "KX-V5", true},
        {kCodePageUtf8, "/fw/KX-V5_\xE5\x8A\x9F.dfu", "KX-V5", true},
        {kCodePageUtf8, "/fw/KX-V5.dfu", "KX-V5", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(upgrade::FileNameMatchesModel(c.cp, c.path, c.model), c.matches)
            << "code page " << c.cp << ": " << c.path;
    }
}

#ifdef _WIN32
// The portable table gives what the system gives for the two code pages it covers.
TEST(FirmwareFileNameTest, PortableLeadByteTableAgreesWithTheSystem) {
    for (CodePage cp : {kCodePageBig5, kCodePageGbk}) {
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<unsigned char>(b);
            EXPECT_EQ(upgrade::IsLeadByteInTable(cp, byte), IsDBCSLeadByteEx(cp, byte) != FALSE)
                << "code page " << cp << ", byte " << b;
        }
    }
}
#endif

}  // namespace
