// The simulator's parts without a line: requests, answers, stored state, options.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "DfuModeHook.h"
#include "HeadsetState.h"
#include "ReplyPlan.h"
#include "Responder.h"
#include "SimOptions.h"
#include "WinePortMapping_posix.h"

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
    // A runaway line goes whole, the next one is read.
    EXPECT_EQ(feed("AT+QVCMD1=24," + std::string(5000, '1') + "\rAT+QVCMD1=8\r"),
              std::vector<std::string>{"AT+QVCMD1=8"});
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

class HeadsetStateFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-sim-state-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        path = (dir / "headset.state").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    void Write(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    std::string Read() {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path dir;
    std::string path;
};

TEST_F(HeadsetStateFile, SavesAndLoadsEveryField) {
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
    std::string error;
    HeadsetState loaded;
    EXPECT_EQ(loaded.Load(path, error), HeadsetState::LoadResult::Missing);
    EXPECT_EQ(loaded.Serialize(), HeadsetState().Serialize());
    ASSERT_TRUE(state.Save(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    ASSERT_EQ(loaded.Load(path, error), HeadsetState::LoadResult::Loaded) << error;
    // Field by field: a field that Serialize leaves out would still compare equal as text.
    EXPECT_EQ(loaded.IdentityValue2, 9);
    EXPECT_EQ(loaded.FirmwareVersion, 1234);
    EXPECT_EQ(loaded.DeviceName, "KX-V5, \"x\"");
    EXPECT_EQ(loaded.BdAddress, "AA:BB");
    EXPECT_EQ(loaded.SpeedDial1, "+1");
    EXPECT_EQ(loaded.SpeedDial2, "*2#");
    EXPECT_EQ(loaded.SpeedDial3, "3");
    EXPECT_EQ(loaded.A2dpMixPercent, 11);
    EXPECT_EQ(loaded.GpsMixPercent, 22);
    EXPECT_EQ(loaded.GpsVoiceSharing, 0);

    loaded.RestoreDefaultSettings();
    EXPECT_EQ(loaded.SpeedDial1, "");
    EXPECT_EQ(loaded.A2dpMixPercent, 50);
    EXPECT_EQ(loaded.FirmwareVersion, 1234);  // the device's own values stay
    EXPECT_EQ(loaded.DeviceName, "KX-V5, \"x\"");
}

TEST_F(HeadsetStateFile, LoadsAFileOfFewerFieldsWithWindowsLineEnds) {
    Write("# kept by hand\r\nSpeedDial2=*9#\r\n\r\nGpsMixPercent=-3\r\n");
    HeadsetState state;
    std::string error;
    ASSERT_EQ(state.Load(path, error), HeadsetState::LoadResult::Loaded) << error;
    EXPECT_EQ(state.SpeedDial2, "*9#");
    EXPECT_EQ(state.GpsMixPercent, -3);
    EXPECT_EQ(state.A2dpMixPercent, 50);  // not named: the default stays
}

TEST_F(HeadsetStateFile, RefusesWhatIsNotAStateFileAndChangesNothing) {
    const struct {
        const char* bytes;
        const char* why;
    } cases[] = {
        {"export PATH=/usr/bin\n", "unknown setting 'export PATH'"},
        {"[Setting]\nDFU_FileName=C:\\kx.dfu\n", "line 1: not a key=value line"},
        {"SpeedDial1=12\nA2dpMixPercent=fifty\n", "line 2: A2dpMixPercent is not a number"},
        {"A2dpMixPercent=50%\n", "not a number"},
        {"GpsMixPercent= 7\n", "not a number"},
        {"FirmwareVersion=99999999999\n", "not a number"},
        {"GpsVoiceSharing=\n", "not a number"},
        {"SpeedDial3=0912 345\n", "SpeedDial3 is not a speed dial"},
        {"SpeedDial1=12345678901234567\n", "not a speed dial"},
        {"\x7f"
         "ELF\x02\x01\x01\n",
         "not a key=value line"},
    };
    for (const auto& c : cases) {
        Write(c.bytes);
        HeadsetState state;
        state.SpeedDial1 = "555";
        std::string error;
        EXPECT_EQ(state.Load(path, error), HeadsetState::LoadResult::Refused) << c.bytes;
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(state.SpeedDial1, "555") << c.bytes;  // nothing taken from a refused file
        EXPECT_EQ(Read(), c.bytes);
    }
    std::string error;
    HeadsetState state;
    EXPECT_EQ(state.Load(dir.string(), error), HeadsetState::LoadResult::Refused);
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    Write(std::string(100 * 1024, 'A'));
    EXPECT_EQ(state.Load(path, error), HeadsetState::LoadResult::Refused);
}

TEST_F(HeadsetStateFile, AFailedSaveLeavesTheStoredStateAndItsMode) {
    HeadsetState state;
    state.SpeedDial1 = "111";
    ASSERT_TRUE(state.Save(path));
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    state.SpeedDial1 = "222";
    ASSERT_TRUE(state.Save(path));
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    // The temporary file cannot be made: the stored settings stay whole.
    std::filesystem::create_directory(path + ".tmp");
    state.SpeedDial1 = "333";
    EXPECT_FALSE(state.Save(path));
    HeadsetState loaded;
    std::string error;
    ASSERT_EQ(loaded.Load(path, error), HeadsetState::LoadResult::Loaded) << error;
    EXPECT_EQ(loaded.SpeedDial1, "222");
}

TEST(ParseRegQueryValue, FindsThePortsValue) {
    const std::string output =
        "\r\nHKEY_LOCAL_MACHINE\\Software\\Wine\\Ports\r\n"
        "    COM1    REG_SZ    /dev/ttyS0\r\n    com5    REG_SZ    /home/me/my port\r\n\r\n";
    std::string value;
    ASSERT_TRUE(ParseRegQueryValue(output, "COM5", value));
    EXPECT_EQ(value, "/home/me/my port");
    EXPECT_FALSE(ParseRegQueryValue(output, "COM7", value));
    EXPECT_FALSE(ParseRegQueryValue("    COM5    REG_DWORD    0x1\n", "COM5", value));
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

TEST(PlanReply, WritesOkAndTheStatusLineTheGapApart) {
    HeadsetState state;
    const Request request = ParseRequestLine("AT+QVCMD1=8");
    const Response response = Respond(request, state);
    SimFaults faults;
    std::vector<LineWrite> writes = PlanReply("AT+QVCMD1=8", request, response, state, faults);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].Bytes, "OK\r\n");
    EXPECT_EQ(writes[0].PauseBeforeMs, 0);
    EXPECT_EQ(writes[1].Bytes, "+QVSTS1=8,102\r\n");
    EXPECT_EQ(writes[1].PauseBeforeMs, 20);
    // The gap is the line's pacing: it holds also for codes the faults leave alone.
    ASSERT_TRUE(faults.Apply("gap=0"));
    ASSERT_TRUE(faults.Apply("only-code=7"));
    writes = PlanReply("AT+QVCMD1=8", request, response, state, faults);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1].PauseBeforeMs, 0);
}

TEST(SimDfuFaults, ReadsEachWordAndRefusesBadValues) {
    SimDfuFaults faults;
    EXPECT_FALSE(faults.Any());
    ASSERT_TRUE(faults.Apply("vanish-after=3"));
    ASSERT_TRUE(faults.Apply("stall-at=0"));
    ASSERT_TRUE(faults.Apply("status-error=0x0A@7"));
    ASSERT_TRUE(faults.Apply("no-return"));
    ASSERT_TRUE(faults.Apply("reset-refused"));
    EXPECT_EQ(faults.VanishAfterBlocks, 3);
    EXPECT_EQ(faults.StallAtBlock, 0);
    EXPECT_EQ(faults.StatusErrorCode, 10);
    EXPECT_EQ(faults.StatusErrorAtBlock, 7);
    EXPECT_TRUE(faults.NoReturn);
    EXPECT_TRUE(faults.ResetRefused);
    SimDfuFaults decimal;
    ASSERT_TRUE(decimal.Apply("status-error=3@0"));
    EXPECT_EQ(decimal.StatusErrorCode, 3);
    EXPECT_TRUE(decimal.Any());

    for (const char* bad :
         {"vanish-after=0", "vanish-after=", "vanish-after=-2", "stall-at=x", "stall-at",
          "status-error=0@3", "status-error=16@3", "status-error=3", "status-error=3@",
          "status-error=0x@1", "no-return=1", "reset-refused=1", "vanish", "stall-at=99999999"}) {
        SimDfuFaults f;
        EXPECT_FALSE(f.Apply(bad)) << bad;
    }
}

TEST(ParseOptions, TakesFaultsAndRefusesNonsense) {
    SimOptions options;
    std::string error;
    bool help = false;
    ASSERT_TRUE(ParseOptions({"--fault", "split=4", "--fault", "lf", "--com", "COM5", "--version",
                              "310", "--dfu-pace", "fast"},
                             options, error, help))
        << error;
    EXPECT_EQ(options.Pace, DfuPace::Fast);
    SimOptions dfu;
    ASSERT_TRUE(ParseOptions({"--start-in-dfu", "--dfu-port", "0", "--dfu-fault", "stall-at=2",
                              "--dfu-fault", "no-return"},
                             dfu, error, help))
        << error;
    EXPECT_TRUE(dfu.StartInDfu);
    EXPECT_EQ(dfu.DfuFaults.StallAtBlock, 2);
    EXPECT_TRUE(dfu.DfuFaults.NoReturn);
    EXPECT_EQ(options.Faults.SplitBytes, 4);
    EXPECT_TRUE(options.Faults.LfOnly);
    EXPECT_EQ(options.ComName, "COM5");
    EXPECT_EQ(options.Initial.FirmwareVersion, 310);

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--fault", "loud"},
                                               {"--fault", "split=0"},
                                               {"--fault", "delay=x"},
                                               {"--fault", "gap=-1"},
                                               {"--fault", "silent=3"},
                                               {"--fault", "split"},
                                               {"--version"},
                                               {"--version", "1.2"},
                                               {"--wine-prefix", "/p"},
                                               {"--com", "5"},
                                               {"--com", "/dev/ttyS0"},
                                               {"--dfu-return", "-1"},
                                               {"--dfu-timeout", "-5"},
                                               {"--dfu-pace", "slow"},
                                               {"--start-in-dfu"},
                                               {"--dfu-fault", "no-return"},
                                               {"--dfu-fault", "shake", "--dfu-port", "0"},
                                               {"--version", "-3"},
                                               {"--name", "KX\r\nOK"},
                                               {"--bogus"}}) {
        SimOptions o;
        error.clear();
        EXPECT_FALSE(ParseOptions(bad, o, error, help)) << bad[0];
        EXPECT_NE(error.find(bad[0]), std::string::npos) << error;  // it names what was wrong
    }
    ASSERT_TRUE(ParseOptions({"--help"}, options, error, help));
    EXPECT_TRUE(help);
}

}  // namespace
}  // namespace headsetsim
