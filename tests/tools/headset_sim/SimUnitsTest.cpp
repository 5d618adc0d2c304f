// The simulator's parts without a line: requests, answers, stored state, options.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "DfuModeHook.h"
#include "HeadsetState.h"
#include "Responder.h"
#include "SimOptions.h"

namespace headsetsim {
namespace {

TEST(ParseRequestLine, ReadsTheCodeAndArguments) {
    Request r = ParseRequestLine("AT+QVCMD1=25,80,1");
    EXPECT_TRUE(r.Valid);
    EXPECT_EQ(r.Code, 25);
    EXPECT_EQ(r.Arguments, (std::vector<std::string>{"80", "1"}));
    r = ParseRequestLine("AT+QVCMD1=22,");
    EXPECT_TRUE(r.Valid);
    EXPECT_EQ(r.Arguments, std::vector<std::string>{""});
    EXPECT_FALSE(ParseRequestLine("AT+QVCMD1=").Valid);
    EXPECT_FALSE(ParseRequestLine("AT+QVCMD1=8x").Valid);
    EXPECT_FALSE(ParseRequestLine("AT+QVCMD1=-8").Valid);
    EXPECT_FALSE(ParseRequestLine("AT+QVCMD2=8").Valid);
}

TEST(LineSplitter, EndsLinesAtCrOrLfAndKeepsTheRest) {
    LineSplitter splitter;
    auto feed = [&](const std::string& bytes) { return splitter.Feed(bytes.data(), bytes.size()); };
    EXPECT_TRUE(feed("AT+QV").empty());
    EXPECT_EQ(feed("CMD1=8\r\n\rAT+QVCMD1=9\nAT"),
              (std::vector<std::string>{"AT+QVCMD1=8", "AT+QVCMD1=9"}));
    EXPECT_EQ(feed("+QVCMD1=7\r"), std::vector<std::string>{"AT+QVCMD1=7"});
}

TEST(Respond, StoresTheDialRunTheDeviceKeeps) {
    HeadsetState state;
    Response r = Respond(ParseRequestLine("AT+QVCMD1=21,0912-345"), state);
    EXPECT_EQ(state.SpeedDial1, "0912");
    EXPECT_EQ(r.StatusLine, "+QVSTS1=21,0912");
    Respond(ParseRequestLine("AT+QVCMD1=23,12345678901234567890"), state);
    EXPECT_EQ(state.SpeedDial3, "1234567890123456");  // at most 16 digits
    EXPECT_TRUE(Respond(ParseRequestLine("AT+QVCMD1=20"), state).EnterDfuMode);
}

TEST(HeadsetState, SavesAndLoadsEveryField) {
    HeadsetState state;
    state.IdentityValue2 = 9;
    state.FirmwareVersion = 1234;
    state.DeviceName = "KX-V5, \"x\"";
    state.BdAddress = "AA:BB";
    state.SpeedDial1 = "+1";
    state.SpeedDial2 = "*2#";
    state.SpeedDial3 = "3";
    state.A2dpMixPercent = 11;
    state.GpsMixPercent = 22;
    state.GpsVoiceSharing = 0;
    const std::string path = ::testing::TempDir() + "qv-sim-state-" + std::to_string(getpid());
    ASSERT_TRUE(state.Save(path));
    HeadsetState loaded;
    ASSERT_TRUE(loaded.Load(path));
    EXPECT_EQ(loaded.Serialize(), state.Serialize());
    std::filesystem::remove(path);
    EXPECT_FALSE(loaded.Load(path));

    loaded.RestoreDefaultSettings();
    EXPECT_EQ(loaded.SpeedDial1, "");
    EXPECT_EQ(loaded.A2dpMixPercent, 50);
    EXPECT_EQ(loaded.FirmwareVersion, 1234);  // the device's own values stay
    EXPECT_EQ(loaded.DeviceName, "KX-V5, \"x\"");
}

TEST(VersionFromComment, ReadsTheFirstVersionMark) {
    EXPECT_EQ(VersionFromComment("QuorVane KX-V5 V1.03"), 103);
    EXPECT_EQ(VersionFromComment("QUORVANE v12.34 build 7"), 1234);
    EXPECT_EQ(VersionFromComment("KX-V5 firmware V2.10"), 210);  // "V5" is no version
    EXPECT_EQ(VersionFromComment("V1.2"), -1);
    EXPECT_EQ(VersionFromComment("V1.234"), -1);
    EXPECT_EQ(VersionFromComment("QuorVane"), -1);
    EXPECT_EQ(VersionFromComment(""), -1);
}

TEST(ParseOptions, TakesFaultsAndRefusesNonsense) {
    SimOptions options;
    std::string error;
    bool help = false;
    ASSERT_TRUE(
        ParseOptions({"--fault", "split=4", "--fault", "lf", "--com", "COM5", "--version", "310"},
                     options, error, help))
        << error;
    EXPECT_EQ(options.Faults.SplitBytes, 4);
    EXPECT_TRUE(options.Faults.LfOnly);
    EXPECT_EQ(options.ComName, "COM5");
    EXPECT_EQ(options.Initial.FirmwareVersion, 310);

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--fault", "loud"},
                                               {"--fault", "split=0"},
                                               {"--fault", "delay=x"},
                                               {"--version"},
                                               {"--version", "1.2"},
                                               {"--wine-prefix", "/p"},
                                               {"--bogus"}}) {
        SimOptions o;
        EXPECT_FALSE(ParseOptions(bad, o, error, help)) << bad[0];
    }
    ASSERT_TRUE(ParseOptions({"--help"}, options, error, help));
    EXPECT_TRUE(help);
}

}  // namespace
}  // namespace headsetsim
