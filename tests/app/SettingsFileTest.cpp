#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/SettingsFile.h"

#ifdef _WIN32
#include <direct.h>
#define QV_SEP "\\"
#else
#include <sys/stat.h>
#include <unistd.h>
#define QV_SEP "/"
#endif

namespace {

[[maybe_unused]] std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(SettingsPaths, BaseNameFollowsTheProgramFile) {
    struct Case {
        const char* program;
        const char* ini;
    } cases[] = {
        {QV_SEP "x" QV_SEP "QVDFUUpgrade.exe", "F" QV_SEP "QVDFUUpgrade.INI"},
        {QV_SEP "x" QV_SEP "Renamed.exe", "F" QV_SEP "Renamed.INI"},
        // The last "." lies in a folder name: the path is cut inside that folder name.
        {QV_SEP "my.tools" QV_SEP "QVDFUUpgrade", "F" QV_SEP "my.INI"},
        {"QVDFUUpgrade", "F" QV_SEP "QVDFUUpgrade.INI"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::BuildIniFilePath("F", c.program), c.ini) << c.program;
    EXPECT_EQ(app::SettingsFolder("A"), "A" QV_SEP "QVBFU");
    EXPECT_EQ(app::SettingsFolder("A" QV_SEP), "A" QV_SEP "QVBFU");
}

#ifndef _WIN32
// The POSIX half reads the application-data folder from XDG_CONFIG_HOME.
class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-settings-XXXXXX";
        root_ = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + root_ + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string root_;
};

TEST_F(SettingsFileTest, FirstRunCreatesTheFolderAndWritesAnEmptyValue) {
    std::string ini;
    EXPECT_EQ(app::ReadStoredFirmwareFile(&ini), "");
    EXPECT_EQ(ini.rfind(root_ + "/QVBFU/", 0), 0u) << ini;
    struct stat st;
    EXPECT_EQ(stat((root_ + "/QVBFU").c_str(), &st), 0);
    app::WriteStoredFirmwareFile(ini, "");
    EXPECT_EQ(ReadFile(ini), "[Setting]\nDFU_FileName=\n");
}

TEST_F(SettingsFileTest, StoredPathWithPercentComesBackUnchanged) {
    std::string ini;
    app::ReadStoredFirmwareFile(&ini);
    const std::string path = "/home/u/fw/KX-V5_100%_%s%d.dfu";
    app::WriteStoredFirmwareFile(ini, path);
    std::string again;
    EXPECT_EQ(app::ReadStoredFirmwareFile(&again), path);
    EXPECT_EQ(again, ini);
}

TEST_F(SettingsFileTest, ReadOnlyFileRefusesTheWriteNamingTheFileAndKeepsItsContent) {
    std::string ini;
    app::ReadStoredFirmwareFile(&ini);
    { std::ofstream(ini) << "[Setting]\nDFU_FileName=/keep.dfu\n[Mine]\nx=1\n"; }
    ASSERT_EQ(chmod(ini.c_str(), 0444), 0);
    try {
        app::WriteStoredFirmwareFile(ini, "/new.dfu");
        FAIL() << "write to a read-only file succeeded";
    } catch (const app::ESettingsWriteError& e) {
        EXPECT_NE(std::string(e.what()).find(ini), std::string::npos);
    }
    EXPECT_EQ(ReadFile(ini), "[Setting]\nDFU_FileName=/keep.dfu\n[Mine]\nx=1\n");
}

// The console tool reads the window's file: by the window's base name, without making the
// folder it does not write into.
TEST_F(SettingsFileTest, AReaderThatOnlyLooksTakesTheBaseNameAndMakesNoFolder) {
    std::string ini;
    EXPECT_EQ(app::ReadStoredFirmwareFile("QVDFUUpgrade", false, &ini), "");
    EXPECT_EQ(ini, root_ + "/QVBFU/QVDFUUpgrade.INI");
    struct stat st;
    EXPECT_NE(stat((root_ + "/QVBFU").c_str(), &st), 0) << "the folder was made";

    ASSERT_EQ(mkdir((root_ + "/QVBFU").c_str(), 0755), 0);
    { std::ofstream(ini) << "[setting]\ndfu_filename=/fw/KX-V5_v103.dfu\n"; }
    EXPECT_EQ(app::ReadStoredFirmwareFile("QVDFUUpgrade", false, &ini), "/fw/KX-V5_v103.dfu");
    EXPECT_EQ(app::ReadStoredFirmwareFile("qvdfu", false, &ini), "") << "another base name";
}

// With no application-data folder there is no settings file: no path (so nothing at the root
// of the file system), an empty value, and a close-time write that writes nothing.
TEST_F(SettingsFileTest, NoApplicationDataFolderMeansNoSettingsFile) {
    unsetenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    unsetenv("HOME");
    std::string ini = "stale";
    EXPECT_EQ(app::ReadStoredFirmwareFile(&ini), "");
    EXPECT_EQ(ini, "");
    EXPECT_NO_THROW(app::WriteStoredFirmwareFile(ini, "/fw/x.dfu"));
    if (!savedHome.empty()) setenv("HOME", savedHome.c_str(), 1);
}

TEST_F(SettingsFileTest, MissingFolderMakesTheWriteFail) {
    EXPECT_THROW(app::WriteStoredFirmwareFile(root_ + "/absent/x.INI", "v"),
                 app::ESettingsWriteError);
}
#else
// The Windows half goes through the profile API into the user's AppData folder.
TEST(SettingsFileWin, ValueRoundTripsThroughTheProfileFile) {
    std::string ini;
    app::ReadStoredFirmwareFile(&ini);
    EXPECT_NE(ini.find("\\QVBFU\\app_settings_test.INI"), std::string::npos) << ini;
    const std::string path = "C:\\fw\\KX-V5_100%_v1.dfu";
    app::WriteStoredFirmwareFile(ini, path);
    std::string again;
    EXPECT_EQ(app::ReadStoredFirmwareFile(&again), path);
    app::WriteStoredFirmwareFile(ini, "");
    EXPECT_EQ(app::ReadStoredFirmwareFile(&again), "");
    EXPECT_NE(ReadFile(ini).find("DFU_FileName="), std::string::npos);
}
#endif

}  // namespace
