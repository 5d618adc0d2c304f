#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/Texts.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const int kAllIds[] = {
#define QV_TEXT(id, en, zh) id,
#include "app/TextCatalogue.def"
#undef QV_TEXT
};

class TextsTest : public ::testing::Test {
  protected:
    void TearDown() override { app::SetTextLanguageOverride(0); }
};

struct ExactText {
    int id;
    int language;
    const char* text;
};

// The texts whose bytes are easy to get wrong: trailing and doubled blanks, line feeds,
// quotes inside the text, full-width characters.
const ExactText kExactTexts[] = {
    {20001, app::kLanguageEnglish, "KX-V5 Tool Program"},
    {20001, app::kLanguageChineseTraditional,
     "KX-V5 \xE8\xA8\xAD\xE5\xAE\x9A\xE5\xB7\xA5\xE5\x85\xB7"},
    {20301, app::kLanguageEnglish, "Speed dial 1 "},
    {20307, app::kLanguageEnglish, "GPS audio sharing "},
    {30201, app::kLanguageEnglish, "Reconfigure in progress... "},
    {20602, app::kLanguageEnglish, "The settings had been changed. Are you sure to exit?"},
    {20602, app::kLanguageChineseTraditional,
     "\xE8\xA8\xAD\xE5\xAE\x9A\xE5\xB7\xB2\xE4\xBF\xAE\xE6\x94\xB9\xE3\x80\x82\n"
     "\xE7\xA2\xBA\xE5\xAE\x9A\xE8\xA6\x81\xE9\x9B\xA2\xE9\x96\x8B\xE5\x97\x8E\xEF\xBC\x9F"},
    {30210, app::kLanguageEnglish,
     "The firmware file selected cannot work with  Quor Vane Bluetooth device."},
    {20605, app::kLanguageEnglish,
     "Note: \n\n To input a string only  (from 0 to 9, plus sign, star sign and pound sign) and "
     "the maximum allowed input string is 16 digits."},
    {20608, app::kLanguageEnglish,
     "Note: \n\n1. This setting supports mono Bluetooth HFP device. \n\n2. To input with 20 means "
     "20% of GPS audio volume will be heard in the mixed audio.  \n\n3. If \"GPS Audio Sharing\" "
     "Setting is\"Yes\", then other headsets in Intercom mode will hear GPS too."},
    {20609, app::kLanguageChineseTraditional,
     "\xE6\xB3\xA8\xE6\x84\x8F\xEF\xBC\x9A\n\n\"\xE9\x9D\x88\xE6\x95\x8F\xE5\xBA\xA6\" "
     "\xE7\x82\xBA\xE9\xAB\x98\xE6\x99\x82\xEF\xBC\x8C\xE8\xA1\xA8\xE7\xA4\xBA\xE8\xBC\x95\xE7"
     "\xA2\xB0\xE5\x8D\xB3\xE8\x83\xBD\xE8\xA7\xB8\xE7\x99\xBC\xE3\x80\x82"},
    {30213, app::kLanguageEnglish,
     "Firmware upgrade is almost completed, please wait.... \xEF\xBC\x88You need to wait a "
     "moment.\xEF\xBC\x89"},
    {30214, app::kLanguageEnglish,
     "The firmware file selected cannot match with your device model. \n Please select the "
     "required firmware file for your device again."},
    {30209, app::kLanguageEnglish,
     "An error occurs during firmware upgrade. Result = %s, Operation = %s, SubOperation = %s"},
};

TEST_F(TextsTest, TrickyTextsAreByteExact) {
    for (const ExactText& t : kExactTexts) {
        const char* text = app::CatalogueText(t.id, t.language);
        ASSERT_NE(text, nullptr) << t.id;
        EXPECT_EQ(std::string(text), t.text) << t.id << " / " << t.language;
    }
}

TEST_F(TextsTest, EveryIdHasBothLanguagesAndLiesInTheSystemRange) {
    std::vector<int> seen;
    for (int id : kAllIds) {
        EXPECT_GE(id, 20000);
        EXPECT_LE(id, 30234);
        EXPECT_NE(app::CatalogueText(id, app::kLanguageEnglish), nullptr) << id;
        EXPECT_NE(app::CatalogueText(id, app::kLanguageChineseTraditional), nullptr) << id;
        for (int other : seen) EXPECT_NE(other, id) << "duplicate ID";
        seen.push_back(id);
    }
}

TEST_F(TextsTest, UnknownIdGivesEmptyText) {
    app::SetTextLanguageOverride(app::kLanguageEnglish);
    EXPECT_EQ(app::LoadText(20110), "");
    EXPECT_EQ(app::LoadText(65296), "");
    EXPECT_EQ(app::CatalogueText(20001, 1031), nullptr);
}

TEST_F(TextsTest, LanguageNameDecidesTheFontRule) {
    app::SetTextLanguageOverride(app::kLanguageEnglish);
    EXPECT_EQ(app::LoadText(20000), "English");
    app::SetTextLanguageOverride(app::kLanguageChineseTraditional);
    EXPECT_EQ(app::LoadText(20000), "Traditional Chinese");
}

TEST_F(TextsTest, LocaleNamesPickTheTable) {
    struct Case {
        const char* locale;
        int language;
    } cases[] = {
        {"zh_TW.UTF-8", app::kLanguageChineseTraditional},
        {"zh_TW", app::kLanguageChineseTraditional},
        {"zh_HK.UTF-8", app::kLanguageChineseTraditional},
        {"zh_CN.UTF-8", app::kLanguageEnglish},
        {"en_US.UTF-8", app::kLanguageEnglish},
        {"C", app::kLanguageEnglish},
        {"", app::kLanguageEnglish},
    };
    for (const Case& c : cases)
        EXPECT_EQ(app::LanguageFromLocaleName(c.locale), c.language) << c.locale;
}

TEST_F(TextsTest, NotePaneTextSplitsIntoThreeLinesKeepingTheEmptyOne) {
    app::SetTextLanguageOverride(app::kLanguageEnglish);
    std::istringstream in(app::LoadText(20605));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Note: ");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2].substr(0, 17), " To input a strin");
}

#ifdef _WIN32
// The resource compiler saw every text exactly as the catalogue holds it, in both tables.
std::string ResourceTextUtf8(int id, int language) {
    HRSRC resource = FindResourceExW(nullptr, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1),
                                     static_cast<WORD>(language));
    if (resource == nullptr) return "<missing block>";
    const WCHAR* p = static_cast<const WCHAR*>(LockResource(LoadResource(nullptr, resource)));
    for (int i = 0; i < id % 16; ++i) p += 1 + *p;
    int length = *p;
    std::string out(static_cast<size_t>(length) * 4 + 1, '\0');
    int n = WideCharToMultiByte(CP_UTF8, 0, p + 1, length, &out[0], static_cast<int>(out.size()),
                                nullptr, nullptr);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

TEST_F(TextsTest, StringTablesMatchTheCatalogueInBothLanguages) {
    for (int id : kAllIds) {
        for (int language : {app::kLanguageEnglish, app::kLanguageChineseTraditional}) {
            EXPECT_EQ(ResourceTextUtf8(id, language), app::CatalogueText(id, language))
                << id << " / " << language;
        }
    }
}

// LoadStringA hands the Traditional Chinese table to the window in Big5 (code page 950): every
// character of it must exist there, or the window would show "?" in its place.
TEST_F(TextsTest, ChineseTableSurvivesBig5Whole) {
    for (int id : kAllIds) {
        HRSRC resource =
            FindResourceExW(nullptr, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1),
                            static_cast<WORD>(app::kLanguageChineseTraditional));
        ASSERT_NE(resource, nullptr) << id;
        const WCHAR* p = static_cast<const WCHAR*>(LockResource(LoadResource(nullptr, resource)));
        for (int i = 0; i < id % 16; ++i) p += 1 + *p;
        const int length = *p;
        char big5[2048];
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(950, WC_NO_BEST_FIT_CHARS, p + 1, length, big5,
                                          sizeof big5, nullptr, &usedDefault);
        ASSERT_GT(n, 0) << id;
        EXPECT_FALSE(usedDefault) << id;
        WCHAR back[1024];
        const int m = MultiByteToWideChar(950, MB_ERR_INVALID_CHARS, big5, n, back, 1024);
        EXPECT_EQ(std::wstring(back, static_cast<size_t>(m > 0 ? m : 0)),
                  std::wstring(p + 1, static_cast<size_t>(length)))
            << id;
    }
}

TEST_F(TextsTest, ForcedLanguageLoadsThatTable) {
    app::SetTextLanguageOverride(app::kLanguageEnglish);
    EXPECT_EQ(app::LoadText(20301), "Speed dial 1 ");
    EXPECT_EQ(app::LoadText(20110), "");
}
#endif

}  // namespace
