// The line written to the debug output when the library is loaded and unloaded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "bridge/ModuleLine.h"

namespace bridge {
namespace {

std::tm Tuesday() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_hour = 7;
    t.tm_min = 5;
    t.tm_sec = 9;
    t.tm_wday = 2;
    return t;
}

// The time is the C library's asctime text, whose day of the month is " 8" in glibc and
// "08" in the Windows runtime.
TEST(ModuleLineTest, AttachAndDetachLinesExactly) {
    const char* days[] = {" 8", "08"};
    struct Case {
        const char* message;
        const char* prefix;
    };
    const Case cases[] = {
        {kAttachMessage, "DfuBridge.dll : Enter DLL_PROCESS_ATTACH, DLL attached.  *****  - "},
        {kDetachMessage, "DfuBridge.dll : Enter DLL_PROCESS_DETACH : DLL detached.  *****  - "},
    };
    for (const Case& c : cases) {
        ModuleLine line;
        FormatModuleLine(line, c.message, Tuesday());
        const std::string text(line);
        EXPECT_TRUE(text == std::string(c.prefix) + "Tue Dec " + days[0] + " 07:05:09 2026\n\n" ||
                    text == std::string(c.prefix) + "Tue Dec " + days[1] + " 07:05:09 2026\n\n")
            << text;
    }
}

TEST(ModuleLineTest, OverlongMessageIsCutTo511Bytes) {
    ModuleLine line;
    const std::string message(600, 'm');
    FormatModuleLine(line, message.c_str(), Tuesday());
    EXPECT_EQ(std::string(511, 'm'), std::string(line));
}

#if !defined(_WIN32)

TEST(ModuleLinePosixTest, WrittenToStandardErrorOnlyWhenAskedFor) {
    unsetenv("DFUBRIDGE_MODULE_LINES");
    testing::internal::CaptureStderr();
    WriteModuleLine(kAttachMessage);
    EXPECT_EQ("", testing::internal::GetCapturedStderr());

    setenv("DFUBRIDGE_MODULE_LINES", "1", 1);
    testing::internal::CaptureStderr();
    WriteModuleLine(kDetachMessage);
    const std::string written = testing::internal::GetCapturedStderr();
    unsetenv("DFUBRIDGE_MODULE_LINES");
    EXPECT_EQ(0u, written.find(std::string(kDetachMessage) + " - "));
    EXPECT_EQ("\n\n", written.substr(written.size() - 2));
}

#endif

}  // namespace
}  // namespace bridge
