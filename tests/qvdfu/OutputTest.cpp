// What qvdfu writes: JSON strings that stay valid for any bytes a headset sends, the progress
// bar's text, and the reporter's lines in each mode.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console/JsonLine.h"
#include "console/ProgressLine.h"
#include "console/Reporter.h"

namespace service {
namespace {

TEST(JsonLine, EscapesAndKeepsEveryByteValid) {
    EXPECT_EQ(JsonString("KX-V5 \"a\\b\"\t\r\n\x01\x7f"),
              "\"KX-V5 \\\"a\\\\b\\\"\\u0009\\u000d\\u000a\\u0001\\u007f\"");
    EXPECT_EQ(JsonString("\xe8\x80\xb3"), "\"\xe8\x80\xb3\"");  // UTF-8 passes unchanged
    // A byte of another code page (Big5, Latin-1) is the Latin-1 character of its value.
    EXPECT_EQ(JsonString("\xa4\x40"), "\"\xc2\xa4@\"");
    EXPECT_EQ(JsonString("\xe8\x80"), "\"\xc3\xa8\xc2\x80\"");              // a cut UTF-8 sequence
    EXPECT_EQ(JsonString("\xed\xa0\x80"), "\"\xc3\xad\xc2\xa0\xc2\x80\"");  // no surrogates
    EXPECT_EQ(JsonLine("info")
                  .Text("port", "COM7")
                  .Number("a2dp", 50)
                  .Flag("replug", true)
                  .TextList("speed_dials", {"+886", "", "#"})
                  .str(),
              "{\"event\":\"info\",\"port\":\"COM7\",\"a2dp\":50,\"replug\":true,"
              "\"speed_dials\":[\"+886\",\"\",\"#\"]}");
}

TEST(ProgressLine, ShowsStepPercentRateAndTimeLeft) {
    ProgressState state;
    state.label = "COM7";
    state.step = "download";
    state.percent = 50;
    EXPECT_EQ(FormatProgressBar(state, 60),
              "COM7     download    [###############...............]  50%");
    state.bytesDone = 20480;
    state.bytesTotal = 61440;
    state.stepElapsedMs = 1000;  // 20 KiB/s: 40 KiB left takes 2 s
    EXPECT_EQ(FormatProgressBar(state, 80),
              "COM7     download    [##############..............]  50%    20.0 KiB/s  ETA 0:02");
    EXPECT_EQ(FormatProgressBar(state, 40).size(), 40u);  // never wider than the terminal
    state.bytesDone = state.bytesTotal;
    EXPECT_EQ(FormatProgressBar(state, 80).find("ETA"), std::string::npos);
    EXPECT_EQ(FormatProgressPlain(state), "COM7: download 50%");
    EXPECT_EQ(FormatMinutes(3599), "59:59");
    EXPECT_EQ(FormatMinutes(3600), "60:00");
}

class ReporterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        out = std::tmpfile();
        err = std::tmpfile();
        ASSERT_NE(out, nullptr);
        ASSERT_NE(err, nullptr);
    }
    void TearDown() override {
        std::fclose(out);
        std::fclose(err);
    }
    static std::string Read(std::FILE* file) {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
        return text;
    }
    // A download that goes 0 ... 100 in steps of 3 percent.
    static void Download(Reporter& reporter) {
        const int bar = reporter.AddBar("COM7", "port");
        reporter.Step(bar, "download");
        for (int percent = 0; percent <= 100; percent += 3)
            reporter.Progress(bar, percent, static_cast<std::uint64_t>(percent) * 10, 1000);
        reporter.Progress(bar, 100, 1000, 1000);
        reporter.EndBars();
    }
    std::FILE* out = nullptr;
    std::FILE* err = nullptr;
};

TEST_F(ReporterTest, PlainOutputWritesALineAtEachTenth) {
    Reporter reporter(Reporter::Mode::Plain, false, out, err);
    reporter.Say("hello");
    Download(reporter);
    reporter.Error("qvdfu: bad");
    EXPECT_EQ(Read(out),
              "hello\nCOM7: download\nCOM7: download 12%\nCOM7: download 21%\n"
              "COM7: download 30%\nCOM7: download 42%\nCOM7: download 51%\nCOM7: download 60%\n"
              "COM7: download 72%\nCOM7: download 81%\nCOM7: download 90%\n"
              "COM7: download 100%\n");
    EXPECT_EQ(Read(err), "qvdfu: bad\n");
}

TEST_F(ReporterTest, JsonKeepsStandardOutputForEvents) {
    Reporter reporter(Reporter::Mode::Json, false, out, err);
    reporter.Say("for people");
    reporter.Show("data shown as text");
    reporter.Event(JsonLine("result").Text("result", "success"));
    const int bar = reporter.AddBar("loopback:127.0.0.1:4000", "device");
    reporter.Step(bar, "manifest");
    reporter.Progress(bar, 40, 0, 0);
    reporter.Progress(bar, 40, 0, 0);  // the same percent again: no second event
    EXPECT_EQ(Read(out),
              "{\"event\":\"result\",\"result\":\"success\"}\n"
              "{\"event\":\"step\",\"device\":\"loopback:127.0.0.1:4000\",\"step\":\"manifest\"}\n"
              "{\"event\":\"progress\",\"device\":\"loopback:127.0.0.1:4000\",\"step\":"
              "\"manifest\",\"percent\":40,\"bytes_done\":0,\"bytes_total\":0}\n");
    EXPECT_EQ(Read(err), "for people\n");
}

TEST_F(ReporterTest, QuietDropsMessagesAndProgressNotDataOrErrors) {
    Reporter reporter(Reporter::Mode::Plain, true, out, err);
    reporter.Say("chatter");
    Download(reporter);
    reporter.Show("COM7  KX-V5");
    reporter.Error("qvdfu: bad");
    EXPECT_EQ(Read(out), "COM7  KX-V5\n");
    EXPECT_EQ(Read(err), "qvdfu: bad\n");
}

// On a terminal the bars are redrawn in place and a message goes above them.
TEST_F(ReporterTest, TerminalRedrawsTheBarsBelowMessages) {
    Reporter reporter(Reporter::Mode::Terminal, false, out, err, 60);
    const int first = reporter.AddBar("COM7", "port");
    const int second = reporter.AddBar("COM8", "port");
    reporter.Step(first, "download");
    reporter.Step(second, "download");
    reporter.Say("COM9 is in use by another program: left out");
    reporter.Progress(second, 100, 10, 10);
    reporter.EndBars();
    const std::string text = Read(out);
    // Two bar lines each time, the cursor taken back up over them before each redraw.
    EXPECT_NE(text.find("\x1b[2A\r\x1b[JCOM9 is in use by another program: left out\n"),
              std::string::npos)
        << text;
    const size_t last = text.rfind("\x1b[2A");
    ASSERT_NE(last, std::string::npos);
    EXPECT_NE(text.find("COM7     download    [", last), std::string::npos);
    EXPECT_NE(text.find("COM8     download    [##############################] 100%", last),
              std::string::npos)
        << text.substr(last);
}

}  // namespace
}  // namespace service
