// The settings backup file: what backup writes, restore reads back the same; a file with any
// value the headset cannot take is refused whole, naming its line.
#include <gtest/gtest.h>

#include "console/SettingsBackupFile.h"

namespace service {
namespace {

HeadsetSettings Sample() {
    HeadsetSettings s;
    s.speedDial[0] = "+886*12#";
    s.speedDial[1] = "";
    s.speedDial[2] = "0123456789012345";  // the longest allowed
    s.a2dpPercent = 1;
    s.gpsPercent = 100;
    s.voiceSharing = 0;
    return s;
}

void ExpectSame(const HeadsetSettings& a, const HeadsetSettings& b) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(a.speedDial[i], b.speedDial[i]) << i;
    EXPECT_EQ(a.a2dpPercent, b.a2dpPercent);
    EXPECT_EQ(a.gpsPercent, b.gpsPercent);
    EXPECT_EQ(a.voiceSharing, b.voiceSharing);
}

TEST(SettingsBackupFile, WhatIsWrittenReadsBackTheSame) {
    const std::string text = FormatSettingsBackup(Sample(), "from KX-V5 on COM7");
    EXPECT_EQ(text.find("# from KX-V5 on COM7\nformat=1\n"), text.find("# from KX-V5 on COM7"));
    HeadsetSettings read;
    std::string error;
    ASSERT_TRUE(ParseSettingsBackup(text, read, error)) << error;
    ExpectSame(read, Sample());
}

// Edited by hand on Windows and saved by Notepad: a byte order mark, CR LF, blanks, comments,
// any key order.
TEST(SettingsBackupFile, ReadsAHandEditedFile) {
    const std::string text =
        "\xEF\xBB\xBF# mine\r\n\r\n format = 1 \r\nvoice_sharing=1\r\ngps_percent= 20\r\n"
        "speed_dial_3=\r\nspeed_dial_2=#\r\nspeed_dial_1 =112\r\n  # later\r\na2dp_percent=75";
    HeadsetSettings read;
    std::string error;
    ASSERT_TRUE(ParseSettingsBackup(text, read, error)) << error;
    EXPECT_EQ(read.speedDial[0], "112");
    EXPECT_EQ(read.speedDial[1], "#");
    EXPECT_EQ(read.speedDial[2], "");
    EXPECT_EQ(read.a2dpPercent, 75);
    EXPECT_EQ(read.gpsPercent, 20);
    EXPECT_EQ(read.voiceSharing, 1);
}

TEST(SettingsBackupFile, RefusesAnyBadValueOrShapeNamingTheLine) {
    const std::string good = FormatSettingsBackup(Sample(), "");
    const auto with = [&good](const std::string& key, const std::string& value) {
        const size_t at = good.find(key + "=");
        const size_t end = good.find('\n', at);
        return good.substr(0, at) + key + "=" + value + good.substr(end);
    };
    struct Case {
        std::string text;
        const char* named;
    } cases[] = {
        {with("speed_dial_1", "0912-345"), "line 3: speed_dial_1=0912-345"},
        {with("speed_dial_2", "01234567890123456"), "at most 16"},
        {with("speed_dial_3", "12 34"), "speed_dial_3"},
        {with("a2dp_percent", "0"), "a2dp_percent=0"},
        {with("gps_percent", "101"), "gps_percent=101"},
        {with("gps_percent", "-5"), "gps_percent=-5"},
        {with("gps_percent", "50%"), "gps_percent"},
        {with("gps_percent", ""), "gps_percent"},
        {with("voice_sharing", "2"), "voice_sharing=2"},
        {with("voice_sharing", "yes"), "voice_sharing"},
        {good + "speed_dial_1=1\n", "appears twice"},
        {good + "volume=3\n", "unknown key \"volume\""},
        {good + "just words\n", "not key=value"},
        {good.substr(0, good.find("voice_sharing")), "lacks voice_sharing"},
        {"speed_dial_1=1\n", "begins with format=1"},
        {"format=2\n", "begins with format=1"},
        {"", "no format=1"},
        {good + std::string(kMaxBackupFileSize, '#'), "larger than"},
    };
    for (const Case& c : cases) {
        HeadsetSettings read = Sample();
        read.a2dpPercent = 42;
        std::string error;
        EXPECT_FALSE(ParseSettingsBackup(c.text, read, error)) << c.named;
        EXPECT_NE(error.find(c.named), std::string::npos) << error;
        EXPECT_EQ(read.a2dpPercent, 42) << "a refused file changed the settings";
    }
}

}  // namespace
}  // namespace service
