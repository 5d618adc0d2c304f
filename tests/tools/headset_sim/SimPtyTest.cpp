// The simulator driven over its pty by a small client, as the tool drives a headset.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "SimClient.h"
#include "device/protocol/Protocol.h"

namespace headsetsim::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class SimPtyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-sim-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        sim.Stop();
        fs::remove_all(dir);
    }

    void Start(std::vector<std::string> args) {
        ASSERT_TRUE(sim.Start(args)) << sim.Output();
        ASSERT_TRUE(client.Open(sim.TtyPath())) << sim.TtyPath();
    }

    // One request and its answer of `lineFeeds` lines.
    std::string Ask(const std::string& request, int lineFeeds = 2) {
        client.Send(request);
        return client.Receive(lineFeeds);
    }

    fs::path dir;
    SimProcess sim;
    LineClient client;
};

TEST_F(SimPtyTest, AnswersEveryCommandAndKeepsTheSettings) {
    Start({});
    const struct {
        const char* request;
        const char* status;
    } exchanges[] = {
        {"AT+QVCMD1=7\r", "+QVSTS1=7,84894534,1"},
        {"AT+QVCMD1=8\r", "+QVSTS1=8,102"},
        {"AT+QVCMD1=9\r", "+QVSTS1=9,KX-V5"},
        {"AT+QVCMD1=10\r", "+QVSTS1=10,00:1A:7D:DA:71:13"},
        {"AT+QVCMD1=1\r", "+QVSTS1=1"},
        {"AT+QVCMD1=4\r", "+QVSTS1=4,50"},
        {"AT+QVCMD1=5\r", "+QVSTS1=5,70,1"},
        {"AT+QVCMD1=21,+886*12#\r", "+QVSTS1=21,+886*12#"},
        {"AT+QVCMD1=22,\r", "+QVSTS1=22"},
        {"AT+QVCMD1=23,0912345678\r", "+QVSTS1=23,0912345678"},
        {"AT+QVCMD1=24,35\r", "+QVSTS1=24,35"},
        {"AT+QVCMD1=25,80,0\r", "+QVSTS1=25,80,0"},
        {"AT+QVCMD1=1\r", "+QVSTS1=1,+886*12#"},
        {"AT+QVCMD1=2\r", "+QVSTS1=2"},
        {"AT+QVCMD1=3\r", "+QVSTS1=3,0912345678"},
        {"AT+QVCMD1=4\r", "+QVSTS1=4,35"},
        {"AT+QVCMD1=5\r", "+QVSTS1=5,80,0"},
        {"AT+QVCMD1=27\r", "+QVSTS1=27"},
        {"AT+QVCMD1=1\r", "+QVSTS1=1"},
        {"AT+QVCMD1=3\r", "+QVSTS1=3"},
        {"AT+QVCMD1=4\r", "+QVSTS1=4,50"},
        {"AT+QVCMD1=5\r", "+QVSTS1=5,70,1"},
    };
    for (const auto& e : exchanges) {
        const std::string answer = Ask(e.request);
        EXPECT_EQ(answer, std::string("OK\r\n") + e.status + "\r\n") << e.request;
        // And the tool's own parser takes it as the answer to that request.
        const int32_t code = std::atoi(e.request + 10);
        EXPECT_EQ(device::ClassifyLine(e.status), device::LineKind::Status);
        EXPECT_EQ(device::ParseStatusLine(e.status).Code, code) << e.status;
    }
    EXPECT_TRUE(sim.WaitForOutput("<- AT+QVCMD1=25,80,0\n"));  // it shows the conversation
}

TEST_F(SimPtyTest, RefusesMalformedRequestsAndUnknownCodes) {
    Start({});
    EXPECT_EQ(Ask("AT+QVCMD1=24,35\r"), "OK\r\n+QVSTS1=24,35\r\n");
    for (const char* request :
         {"AT+QVCMD1=6\r", "AT+QVCMD1=x\r", "at+qvcmd1=8\r", "AT+QVCMD1=8,1\r", "AT+QVCMD1=25,1\r",
          "AT+QVCMD1=24,abc\r", "AT+QVCMD1=24,\r", "AT+QVCMD1=24,35%\r", "AT+QVCMD1=24,-\r",
          "AT+QVCMD1=24,99999999999\r", "AT+QVCMD1=25,80,x\r", "AT+QVCMD1=25,,1\r",
          "AT+QVCMD1=27,1\r"}) {
        EXPECT_EQ(Ask(request, 1), "ERROR\r\n") << request;
    }
    // Nothing was changed.
    EXPECT_EQ(Ask("AT+QVCMD1=4\r"), "OK\r\n+QVSTS1=4,35\r\n");
    EXPECT_EQ(Ask("AT+QVCMD1=5\r"), "OK\r\n+QVSTS1=5,70,1\r\n");
}

TEST_F(SimPtyTest, KeepsItsStateInAFileAcrossRestarts) {
    const std::string state = (dir / "headset.state").string();
    Start({"--state", state, "--version", "215", "--name", "KX-V5 Pro"});
    Ask("AT+QVCMD1=21,*99#\r");
    Ask("AT+QVCMD1=24,42\r");
    sim.Signal(SIGUSR1);
    EXPECT_TRUE(sim.WaitForOutput("SpeedDial1=*99#\n"));
    EXPECT_EQ(sim.Stop(), 0);

    std::ifstream in(state);
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(saved.find("SpeedDial1=*99#\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("A2dpMixPercent=42\n"), std::string::npos) << saved;

    SimProcess again;
    ASSERT_TRUE(again.Start({"--state", state}));
    LineClient second;
    ASSERT_TRUE(second.Open(again.TtyPath()));
    second.Send("AT+QVCMD1=1\r");
    EXPECT_EQ(second.Receive(2), "OK\r\n+QVSTS1=1,*99#\r\n");
    second.Send("AT+QVCMD1=8\r");
    EXPECT_EQ(second.Receive(2), "OK\r\n+QVSTS1=8,215\r\n");
    second.Send("AT+QVCMD1=9\r");
    EXPECT_EQ(second.Receive(2), "OK\r\n+QVSTS1=9,KX-V5 Pro\r\n");
    EXPECT_EQ(again.Stop(), 0);

    // An identity given again on the command line wins over the stored one; the settings stay.
    SimProcess third;
    ASSERT_TRUE(third.Start({"--state", state, "--version", "216"}));
    ASSERT_TRUE(second.Open(third.TtyPath()));
    second.Send("AT+QVCMD1=8\r");
    EXPECT_EQ(second.Receive(2), "OK\r\n+QVSTS1=8,216\r\n");
    second.Send("AT+QVCMD1=9\r");
    EXPECT_EQ(second.Receive(2), "OK\r\n+QVSTS1=9,KX-V5 Pro\r\n");
    second.Send("AT+QVCMD1=4\r");
    EXPECT_EQ(second.Receive(2), "OK\r\n+QVSTS1=4,42\r\n");
}

TEST_F(SimPtyTest, ASettingThatCannotBeStoredIsRefused) {
    const fs::path state = dir / "headset.state";
    Start({"--state", state.string()});
    fs::create_directory(dir / "headset.state.tmp");  // no temporary file can be written now
    EXPECT_EQ(Ask("AT+QVCMD1=24,35\r", 1), "ERROR\r\n");
    EXPECT_EQ(Ask("AT+QVCMD1=27\r", 1), "ERROR\r\n");
    fs::remove(dir / "headset.state.tmp");
    EXPECT_EQ(Ask("AT+QVCMD1=4\r"), "OK\r\n+QVSTS1=4,50\r\n");
    EXPECT_EQ(Ask("AT+QVCMD1=24,36\r"), "OK\r\n+QVSTS1=24,36\r\n");
}

TEST_F(SimPtyTest, RefusesAForeignStateFileAndLeavesItAlone) {
    const std::string state = (dir / "QVDFUUpgrade.INI").string();
    const std::string foreign = "[Setting]\nDFU_FileName=C:\\fw\\KX-V5_v103.dfu\n";
    std::ofstream(state) << foreign;
    EXPECT_FALSE(sim.Start({"--state", state}));
    EXPECT_EQ(sim.WaitForExit(), 1);
    std::ifstream in(state);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              foreign);
}

// The user learns at start where the settings are kept and how to start afresh; a state file
// that cannot be written is refused before the headset answers anything.
TEST_F(SimPtyTest, SaysWhereItsStateIsAndRefusesOneThatCannotBeWritten) {
    const std::string state = (dir / "headset.state").string();
    const struct {
        std::vector<std::string> args;
        std::string said;
    } kept[] = {
        {{"--state", state},
         "state: " + state + " (to start afresh, end the simulator and delete that file)\n"},
        {{}, "state: not kept (no --state FILE): each run starts with the factory settings\n"},
    };
    for (const auto& c : kept) {
        SimProcess started;
        ASSERT_TRUE(started.Start(c.args)) << started.Output();
        const std::string output = started.Output();
        EXPECT_LT(output.find(c.said), output.find("READY\n")) << output;
    }

    const fs::path unwritable = dir / "no-such-folder" / "headset.state";
    EXPECT_FALSE(sim.Start({"--state", unwritable.string()}));
    EXPECT_EQ(sim.WaitForExit(), 1);
    EXPECT_NE(sim.Output().find("cannot write " + unwritable.string()), std::string::npos)
        << sim.Output();
    EXPECT_NE(sim.Output().find("choose another --state FILE"), std::string::npos);
    EXPECT_EQ(sim.Output().find("PTY "), std::string::npos);  // no line was offered
}

// Each request and each write carries the monotonic time in microseconds, so that the tool's
// answer times can be read off the log; the pause between "OK" and the status line shows.
TEST_F(SimPtyTest, TimestampsPutTheMicrosecondsBeforeEachRequestAndWrite) {
    Start({"--timestamps", "--fault", "gap=30"});
    EXPECT_EQ(Ask("AT+QVCMD1=8\r"), "OK\r\n+QVSTS1=8,102\r\n");
    ASSERT_TRUE(sim.WaitForOutput("-> +QVSTS1=8,102\\r\\n\n"));
    std::smatch match;
    const std::string output = sim.Output();
    ASSERT_TRUE(std::regex_search(output, match,
                                  std::regex("\n(\\d+) <- AT\\+QVCMD1=8\n(\\d+) -> OK\\\\r\\\\n\n"
                                             "(\\d+) -> \\+QVSTS1=8,102\\\\r\\\\n\n")))
        << output;
    const long long request = std::stoll(match[1]), ok = std::stoll(match[2]),
                    status = std::stoll(match[3]);
    EXPECT_LE(request, ok);
    EXPECT_GE(status - ok, 30000);
    EXPECT_LT(status - ok, 10000000);  // microseconds, not nanoseconds

    // Without the switch the lines start with the arrow, as scripts that read the log expect.
    SimProcess plain;
    ASSERT_TRUE(plain.Start({}));
    LineClient line;
    ASSERT_TRUE(line.Open(plain.TtyPath()));
    line.Send("AT+QVCMD1=8\r");
    ASSERT_TRUE(plain.WaitForOutput("-> OK\\r\\n\n")) << plain.Output();
    EXPECT_NE(plain.Output().find("\n<- AT+QVCMD1=8\n-> OK\\r\\n\n"), std::string::npos)
        << plain.Output();
}

TEST_F(SimPtyTest, LinksTheLineAsAComPortAndRemovesTheLinkAtTheEnd) {
    const fs::path links = dir / "dosdevices";
    const fs::path prefix = dir / "prefix";
    // The prefix maps COM7 to the user's own adapter (unplugged just now); the tool's folder
    // holds a link of a simulator that was killed, into a pty that is gone.
    fs::create_directories(prefix / "dosdevices");
    fs::create_symlink("/dev/ttyUSB7", prefix / "dosdevices/com7");
    fs::create_directories(links);
    fs::create_symlink("/dev/pts/987654", links / "com7");
    Start({"--com", "COM7", "--com-dir", links.string(), "--wine-prefix", prefix.string(),
           "--no-wine-reg"});
    ASSERT_EQ(sim.Links().size(), 2u);
    EXPECT_EQ(fs::read_symlink(links / "com7"), sim.TtyPath());
    EXPECT_EQ(fs::read_symlink(prefix / "dosdevices/com7"), sim.TtyPath());
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(fs::is_symlink(links / "com7"));
    EXPECT_EQ(fs::read_symlink(prefix / "dosdevices/com7"), "/dev/ttyUSB7");  // put back
}

// With a Wine prefix the port is mapped in its registry, and at the end the entry the prefix
// had before is put back (or ours removed). A stand-in "wine" records what it was asked.
TEST_F(SimPtyTest, MapsThePortInTheWineRegistryAndPutsTheEarlierEntryBack) {
    fs::create_directories(dir / "bin");
    const fs::path wine = dir / "bin/wine";
    std::ofstream(wine)
        << "#!/bin/sh\n"
           "echo \"$WINEPREFIX $*\" >>\"$FAKE_WINE_DIR/log\"\n"
           "[ \"$2\" = query ] || exit 0\n"
           "[ -f \"$FAKE_WINE_DIR/entry\" ] || exit 1\n"
           "printf '\\r\\nHKEY_LOCAL_MACHINE\\\\Software\\\\Wine\\\\Ports\\r\\n"
           "    COM5    REG_SZ    %s\\r\\n\\r\\n' \"$(cat \"$FAKE_WINE_DIR/entry\")\"\n";
    fs::permissions(wine, fs::perms::owner_all);
    const std::string path = ::getenv("PATH");
    struct RestorePath {
        const std::string& path;
        ~RestorePath() { ::setenv("PATH", path.c_str(), 1); }
    } restorePath{path};
    ::setenv("PATH", ((dir / "bin").string() + ":" + path).c_str(), 1);
    ::setenv("FAKE_WINE_DIR", dir.c_str(), 1);
    const std::string prefix = (dir / "prefix").string();
    const std::string key = "HKLM\\Software\\Wine\\Ports";

    for (const char* earlier : {"/dev/ttyUSB5 (my adapter)", ""}) {
        fs::remove(dir / "log");
        if (*earlier != '\0')
            std::ofstream(dir / "entry") << earlier;
        else
            fs::remove(dir / "entry");
        SimProcess mapped;
        ASSERT_TRUE(mapped.Start(
            {"--com", "COM5", "--com-dir", (dir / "links").string(), "--wine-prefix", prefix}));
        EXPECT_EQ(mapped.Stop(), 0);
        std::ifstream in(dir / "log");
        const std::string log((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
        const std::string atTheEnd = *earlier != '\0'
                                         ? "reg add " + key + " /v COM5 /d " + earlier + " /f\n"
                                         : "reg delete " + key + " /v COM5 /f\n";
        EXPECT_EQ(log, prefix + " reg query " + key + " /v COM5\n" + prefix + " reg add " + key +
                           " /v COM5 /d " + mapped.TtyPath() + " /f\n" + prefix + " " + atTheEnd);
    }
}

TEST_F(SimPtyTest, EachSignalToEndRemovesTheLink) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SimProcess ending;
        ASSERT_TRUE(ending.Start({"--com", "COM9", "--com-dir", dir.string()}));
        ASSERT_TRUE(fs::is_symlink(dir / "com9"));
        ending.Signal(signal);
        EXPECT_EQ(ending.WaitForExit(), 0) << strsignal(signal);
        EXPECT_FALSE(fs::is_symlink(dir / "com9")) << strsignal(signal);
    }
}

TEST_F(SimPtyTest, LeavesAFileByThePortsNameAlone) {
    std::ofstream(dir / "com8") << "mine";
    EXPECT_FALSE(sim.Start({"--com", "COM8", "--com-dir", dir.string()}));
    EXPECT_EQ(sim.WaitForExit(), 1);
    std::ifstream in(dir / "com8");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              "mine");
}

TEST_F(SimPtyTest, LinksIntoTheToolsFolderByDefault) {
    ::setenv("QV_COM_DIR", (dir / "tool-links").c_str(), 1);
    Start({"--com", "COM12"});
    ::unsetenv("QV_COM_DIR");
    EXPECT_EQ(fs::read_symlink(dir / "tool-links/com12"), sim.TtyPath());
}

TEST_F(SimPtyTest, EnterDfuModeAnswersThenLeavesTheLine) {
    Start({"--com", "COM3", "--com-dir", dir.string()});
    EXPECT_EQ(Ask("AT+QVCMD1=20\r"), "OK\r\n+QVSTS1=20\r\n");
    EXPECT_TRUE(client.HungUp());
    EXPECT_EQ(sim.WaitForExit(), 0);
    EXPECT_FALSE(fs::is_symlink(dir / "com3"));
}

TEST_F(SimPtyTest, ComesBackAfterDfuModeWithTheNewVersion) {
    Start({"--com", "COM3", "--com-dir", dir.string(), "--dfu-return", "100", "--dfu-version",
           "103"});
    EXPECT_EQ(Ask("AT+QVCMD1=20\r"), "OK\r\n+QVSTS1=20\r\n");
    EXPECT_TRUE(client.HungUp());
    ASSERT_TRUE(sim.WaitForOutput("READY\n"));
    EXPECT_TRUE(fs::is_symlink(dir / "com3"));
    ASSERT_TRUE(client.Open((dir / "com3").string()));
    EXPECT_EQ(Ask("AT+QVCMD1=8\r"), "OK\r\n+QVSTS1=8,103\r\n");
}

// A signal ends the simulator promptly whatever it is doing, and its COM link goes with it.
TEST_F(SimPtyTest, EndsPromptlyOnASignalWhileWaiting) {
    std::string manyRequests;
    for (int i = 0; i < 50; ++i) manyRequests += "AT+QVCMD1=8\r";
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string request;
        const char* waitFor;  // in its output once the request is in hand
        int settleMs;         // then this long for it to get stuck
    } cases[] = {
        {"a long reply delay", {"--fault", "delay=600000"}, "AT+QVCMD1=8\r", "<- AT+QVCMD1=8", 0},
        {"away after code 20",
         {"--dfu-return", "600000"},
         "AT+QVCMD1=20\r",
         "DFU leaving the serial line",
         0},
        {"a DFU device",
         {"--dfu-port", "0", "--dfu-timeout", "600000", "--dfu-pace", "fast"},
         "AT+QVCMD1=20\r",
         "DFU 127.0.0.1:",
         0},
        // 2 KiB answers that nobody reads: the line's buffers fill up and writing blocks.
        {"a line nobody reads",
         {"--fault", "overlong", "--fault", "merge"},
         manyRequests,
         "<- AT+QVCMD1=8",
         1000},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        for (const char* a : {"--com", "COM6", "--com-dir", dir.c_str()}) args.push_back(a);
        SimProcess waiting;
        ASSERT_TRUE(waiting.Start(args)) << c.name;
        LineClient line;
        ASSERT_TRUE(line.Open(waiting.TtyPath()));
        line.Send(c.request);
        ASSERT_TRUE(waiting.WaitForOutput(c.waitFor)) << c.name << waiting.Output();
        std::this_thread::sleep_for(std::chrono::milliseconds(c.settleMs));
        EXPECT_EQ(waiting.Stop(), 0) << c.name;  // within its 3 s, not killed
        line.Close();
        EXPECT_FALSE(fs::is_symlink(dir / "com6")) << c.name;
    }
}

TEST_F(SimPtyTest, UsesAGivenTty) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    ASSERT_TRUE(sim.Start({"--tty", slave}));
    EXPECT_EQ(sim.TtyPath(), slave);
    termios raw;
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    ASSERT_EQ(write(master, "AT+QVCMD1=8\r", 12), 12);
    std::string answer;
    char buffer[256];
    const auto end = Clock::now() + std::chrono::seconds(2);
    while (answer.find("102\r\n") == std::string::npos && Clock::now() < end) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0) answer.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(answer, "OK\r\n+QVSTS1=8,102\r\n");
    sim.Stop();
    close(master);
}

struct FaultCase {
    const char* name;
    std::vector<std::string> args;
    const char* request;
    int lineFeeds;
    std::string expected;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class SimFaultTest : public SimPtyTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimFaultTest, ShapesTheAnswer) {
    Start(GetParam().args);
    EXPECT_EQ(Ask(GetParam().request, GetParam().lineFeeds), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, SimFaultTest,
    ::testing::Values(
        FaultCase{"StatusFirst",
                  {"--fault", "status-first"},
                  "AT+QVCMD1=8\r",
                  2,
                  "+QVSTS1=8,102\r\nOK\r\n"},
        FaultCase{"OtherCode",
                  {"--fault", "other-code"},
                  "AT+QVCMD1=8\r",
                  2,
                  "OK\r\n+QVSTS1=9,KX-V5\r\n"},
        FaultCase{"ForeignSignature",
                  {"--fault", "foreign-signature"},
                  "AT+QVCMD1=7\r",
                  2,
                  "OK\r\n+QVSTS1=7,12345678,1\r\n"},
        FaultCase{"LineFeedOnly", {"--fault", "lf"}, "AT+QVCMD1=8\r", 2, "OK\n+QVSTS1=8,102\n"},
        FaultCase{"Echo",
                  {"--fault", "echo"},
                  "AT+QVCMD1=8\r",
                  3,
                  "AT+QVCMD1=8\r\nOK\r\n+QVSTS1=8,102\r\n"},
        FaultCase{"Garbage",
                  {"--fault", "garbage"},
                  "AT+QVCMD1=8\r",
                  4,
                  "\x01#~garbage\x7f\xff +QV OK?\r\n\r\nOK\r\n+QVSTS1=8,102\r\n"},
        FaultCase{"Overlong",
                  {"--fault", "overlong"},
                  "AT+QVCMD1=8\r",
                  2,
                  std::string(2000, 'X') + "OK\r\n+QVSTS1=8,102\r\n"},
        FaultCase{"OnlyForItsCode",
                  {"--fault", "status-first", "--fault", "only-code=9"},
                  "AT+QVCMD1=8\r",
                  2,
                  "OK\r\n+QVSTS1=8,102\r\n"},
        FaultCase{"ForItsCode",
                  {"--fault", "other-code", "--fault", "only-code=8"},
                  "AT+QVCMD1=8\r",
                  2,
                  "OK\r\n+QVSTS1=9,KX-V5\r\n"}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(SimPtyTest, SilentSendsNothing) {
    Start({"--fault", "silent"});
    client.Send("AT+QVCMD1=7\r");
    EXPECT_EQ(client.ReceiveFor(400), "");
}

TEST_F(SimPtyTest, SplitWritesTheAnswerInSmallPieces) {
    Start({"--fault", "split=3"});
    EXPECT_EQ(Ask("AT+QVCMD1=7\r"), "OK\r\n+QVSTS1=7,84894534,1\r\n");
    // 27 bytes in 9 writes, 20 ms apart: far more pieces than the two lines of a plain answer,
    // even when a busy reader takes two pieces at once now and then.
    EXPECT_GE(client.chunks.size(), 4u);
}

TEST_F(SimPtyTest, MergeWritesBothLinesAtOnce) {
    Start({"--fault", "merge", "--fault", "delay=50"});
    EXPECT_EQ(Ask("AT+QVCMD1=8\r"), "OK\r\n+QVSTS1=8,102\r\n");
    EXPECT_EQ(client.chunks.size(), 1u);
}

TEST_F(SimPtyTest, DelayHoldsTheAnswerBack) {
    Start({"--fault", "delay=300"});
    const auto start = Clock::now();
    EXPECT_EQ(Ask("AT+QVCMD1=8\r"), "OK\r\n+QVSTS1=8,102\r\n");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
}

TEST_F(SimPtyTest, HangUpDropsTheLineAfterOk) {
    Start({"--fault", "hangup", "--com", "COM4", "--com-dir", dir.string()});
    client.Send("AT+QVCMD1=8\r");
    EXPECT_EQ(client.Receive(1), "OK\r\n");
    EXPECT_TRUE(client.HungUp());
    EXPECT_EQ(sim.WaitForExit(), 0);
    EXPECT_FALSE(fs::is_symlink(dir / "com4"));
}

TEST_F(SimPtyTest, ControlFileSwitchesFaultsWhileRunning) {
    const std::string control = (dir / "faults").string();
    Start({"--control", control, "--fault", "echo"});
    // Without the file the command line holds; with it, the file does.
    EXPECT_EQ(Ask("AT+QVCMD1=8\r", 3), "AT+QVCMD1=8\r\nOK\r\n+QVSTS1=8,102\r\n");
    std::ofstream(control) << "# a comment\nstatus-first\nlf\n";
    EXPECT_EQ(Ask("AT+QVCMD1=8\r"), "+QVSTS1=8,102\nOK\n");
    std::ofstream(control) << "silent\n";
    client.Send("AT+QVCMD1=8\r");
    EXPECT_EQ(client.ReceiveFor(300), "");
    std::ofstream(control, std::ios::trunc);
    EXPECT_EQ(Ask("AT+QVCMD1=8\r"), "OK\r\n+QVSTS1=8,102\r\n");
}

}  // namespace
}  // namespace headsetsim::test
