#include <gtest/gtest.h>

#include "app/IniText.h"

namespace {

TEST(IniText, ReadsValuesIgnoringCaseAndBlanks) {
    const std::string content =
        "; comment\n[Other]\nDFU_FileName=wrong\n[ setting ]\n  dfu_filename =  C:\\a b.dfu  \n";
    std::string value = "untouched";
    ASSERT_TRUE(app::IniGetValue(content, "Setting", "DFU_FileName", &value));
    EXPECT_EQ(value, "C:\\a b.dfu");
    EXPECT_TRUE(app::IniGetValue("[S]\nk=\"quoted\"\n", "s", "K", &value));
    EXPECT_EQ(value, "quoted");
}

TEST(IniText, MissingSectionOrKeyLeavesTheValueAlone) {
    std::string value = "untouched";
    EXPECT_FALSE(app::IniGetValue("", "Setting", "DFU_FileName", &value));
    EXPECT_FALSE(app::IniGetValue("[Setting]\nOther=1\n", "Setting", "DFU_FileName", &value));
    EXPECT_FALSE(app::IniGetValue("[Other]\nDFU_FileName=x\n", "Setting", "DFU_FileName", &value));
    EXPECT_EQ(value, "untouched");
}

TEST(IniText, WritesCreateReplaceAndKeepEverythingElse) {
    struct Case {
        const char* before;
        const char* value;
        const char* after;
    } cases[] = {
        {"", "C:\\f.dfu", "[Setting]\nDFU_FileName=C:\\f.dfu\n"},
        {"", "", "[Setting]\nDFU_FileName=\n"},
        {"[Setting]\r\nDFU_FileName=old\r\nKeep=1\r\n", "new",
         "[Setting]\r\nDFU_FileName=new\r\nKeep=1\r\n"},
        {"[A]\nx=1\n\n[setting]\nOther=2\n\n[B]\ny=3", "v",
         "[A]\nx=1\n\n[setting]\nOther=2\nDFU_FileName=v\n\n[B]\ny=3"},
        {"[A]\nx=1", "v", "[A]\nx=1\n[Setting]\nDFU_FileName=v\n"},
        // The key keeps its spelling; the blanks around "=" go, as the profile API does.
        {"[SETTING]\ndfu_filename = old\n", "100%.dfu", "[SETTING]\ndfu_filename=100%.dfu\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(app::IniSetValue(c.before, "Setting", "DFU_FileName", c.value), c.after)
            << c.before;
    }
}

}  // namespace
