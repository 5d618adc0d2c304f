#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "device/protocol/Protocol.h"

namespace device {
namespace {

using namespace std::string_literals;

TEST(ClassifyLine, TellsAcknowledgementsStatusLinesAndOthersApart) {
    struct Case {
        std::string line;
        LineKind kind;
    } cases[] = {
        {"OK", LineKind::Acknowledgement},
        {"OKAY", LineKind::Acknowledgement},  // only two bytes are compared
        {"OK\r", LineKind::Acknowledgement},
        {"ok", LineKind::Other},
        {"O", LineKind::Other},
        {" OK", LineKind::Other},
        {"", LineKind::Other},
        {"+QVSTS1=8,102", LineKind::Status},
        {"+QVSTS1=", LineKind::Status},
        {"+qvsts1=8,102", LineKind::Other},
        {"+QVSTS1", LineKind::Other},
        {"AT+QVCMD1=8", LineKind::Other},  // an echo of the request
        {"\rOK", LineKind::Other},         // a CR ends the content at once
        {"O\0K"s, LineKind::Other},        // so does a NUL
        {"+QVS\rTS1=8"s, LineKind::Other},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyLine(c.line), c.kind) << '"' << c.line << '"';
    }
}

struct ParseCase {
    const char* name;
    std::string line;
    int32_t code;
    int32_t value1;
    int32_t value2;
    std::string text;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}
class ParseStatusLineTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseStatusLineTest, Parses) {
    const ParseCase& c = GetParam();
    const StatusReply r = ParseStatusLine(c.line);
    EXPECT_EQ(r.Code, c.code);
    EXPECT_EQ(r.Value1, c.value1);
    EXPECT_EQ(r.Value2, c.value2);
    EXPECT_EQ(r.Text, c.text);
}

const int32_t kMax = INT32_MAX;

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseStatusLineTest,
    ::testing::Values(
        ParseCase{"WireExample", "+QVSTS1=8,102", 8, 102, 0, ""},
        ParseCase{"Identity", "+QVSTS1=7,84894534,3", 7, 84894534, 3, ""},
        ParseCase{"BlanksAroundCommas", "+QVSTS1= 5 , 20 , 0", 5, 20, 0, ""},
        ParseCase{"SeparatorsBeforeCode", "+QVSTS1=,,5,20,1", 5, 20, 1, ""},
        ParseCase{"MixedSeparators", "+QVSTS1=\t, ,5\t,,  30 ,\t,7", 5, 30, 7, ""},
        ParseCase{"NoValues", "+QVSTS1=4", 4, 0, 0, ""},
        ParseCase{"PercentSignEndsTheRun", "+QVSTS1=4,20%", 4, 20, 0, ""},
        ParseCase{"MinusIsNotADigit", "+QVSTS1=5,30,-1", 5, 30, 0, ""},
        ParseCase{"MinusFirstValue", "+QVSTS1=5,-30,1", 5, 0, 0, ""},
        ParseCase{"TrailingBytesIgnored", "+QVSTS1=5,30,1,99 junk", 5, 30, 1, ""},
        ParseCase{"DialString", "+QVSTS1=1,+886*12#", 1, 0, 0, "+886*12#"},
        ParseCase{"DialInnerBlankEndsRun", "+QVSTS1=2,0912 345", 2, 0, 0, "0912"},
        ParseCase{"DialHyphenEndsRun", "+QVSTS1=3,0912-345", 3, 0, 0, "0912"},
        ParseCase{"DialInQuotesIsEmpty", "+QVSTS1=1,\"0912345\"", 1, 0, 0, ""},
        ParseCase{"DialEcho", "+QVSTS1=21,  *99#", 21, 0, 0, "*99#"},
        ParseCase{"DialEmpty", "+QVSTS1=22", 22, 0, 0, ""},
        ParseCase{"DialEcho3", "+QVSTS1=23,12", 23, 0, 0, "12"},
        ParseCase{"FreeTextKeepsEverything", "+QVSTS1=9,KX-V5, \"Pro\" , x  ", 9, 0, 0,
                  "KX-V5, \"Pro\" , x  "},
        ParseCase{"FreeTextAddress", "+QVSTS1=10, 00:1A:7D:DA:71:13", 10, 0, 0,
                  "00:1A:7D:DA:71:13"},
        ParseCase{"FreeTextEmpty", "+QVSTS1=9,", 9, 0, 0, ""},
        ParseCase{"FreeTextHighBytes", "+QVSTS1=9,\xA4\xA4\xA4\xE5", 9, 0, 0, "\xA4\xA4\xA4\xE5"},
        ParseCase{"FreeTextStopsAtCr", "+QVSTS1=9,KX-V5\r\n", 9, 0, 0, "KX-V5"},
        ParseCase{"FreeTextStopsAtNul", "+QVSTS1=9,KX\0-V5"s, 9, 0, 0, "KX"},
        ParseCase{"NothingAfterPrefix", "+QVSTS1=", 0, 0, 0, ""},
        ParseCase{"NoDigitsForCode", "+QVSTS1=x,8,102", 0, 0, 0, ""},
        ParseCase{"LeadingZeros", "+QVSTS1=008,0102", 8, 102, 0, ""},
        ParseCase{"NotAStatusLine", "OK", 0, 0, 0, ""},
        ParseCase{"LargestValue", "+QVSTS1=4,2147483647", 4, kMax, 0, ""},
        ParseCase{"ValueSaturates", "+QVSTS1=4,2147483648,5", 4, kMax, 5, ""},
        ParseCase{"LongRunSaturates", "+QVSTS1=4,99999999999999999999999,5", 4, kMax, 5, ""},
        // Wrapping at 2^32 would turn 4294967303 into 7 and make it a valid code.
        ParseCase{"CodeSaturates", "+QVSTS1=4294967303,84894534", kMax, 84894534, 0, ""}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(ParseStatusLine, KeepsAtMost255BytesOfText) {
    const std::string name(300, 'N');
    EXPECT_EQ(ParseStatusLine("+QVSTS1=9," + name).Text, name.substr(0, 255));
    const std::string dial(1000, '7');
    EXPECT_EQ(ParseStatusLine("+QVSTS1=1," + dial).Text, dial.substr(0, 255));
    const std::string exact(255, '#');
    EXPECT_EQ(ParseStatusLine("+QVSTS1=3," + exact).Text, exact);
}

TEST(IsDialChar, AcceptsDigitsPlusStarAndPoundOnly) {
    std::string accepted;
    for (int c = 0; c < 256; ++c) {
        if (IsDialChar(static_cast<char>(c))) accepted += static_cast<char>(c);
    }
    EXPECT_EQ(accepted, "#*+0123456789");
}

TEST(FormatVersion, SplitsIntoMajorAndMinor) {
    struct Case {
        int32_t v;
        int32_t major, minor;
        const char* log;
        const char* label;
    } cases[] = {
        {102, 1, 2, "1.02", " V1.02"},      {5, 0, 5, "0.05", " V0.05"},
        {1234, 12, 34, "12.34", " V12.34"}, {100, 1, 0, "1.00", " V1.00"},
        {0, 0, 0, "0.00", " V0.00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatVersion(c.v).Major, c.major) << c.v;
        EXPECT_EQ(FormatVersion(c.v).Minor, c.minor) << c.v;
        EXPECT_EQ(VersionLogText(c.v), c.log);
        EXPECT_EQ(VersionLabelSuffix(c.v), c.label);
    }
}

TEST(ReplyLogLine, WritesTheLogLineOfEachCode) {
    struct Case {
        const char* line;
        const char* log;
    } cases[] = {
        {"+QVSTS1=7,84894534,1", "UART_CMD_QUERY_ID Signature = 84894534"},
        {"+QVSTS1=8,102", "UART_CMD_QUERY_FW_VERSION Ver = 1.02"},
        {"+QVSTS1=8,5", "UART_CMD_QUERY_FW_VERSION Ver = 0.05"},
        {"+QVSTS1=9,KX-V5", "CMD_QUERY_DEVICE_NAME DeviceName = KX-V5"},
        {"+QVSTS1=10,00:1A:7D", "CMD_QUERY_BD_ADDRESS Addr = 00:1A:7D"},
        {"+QVSTS1=1,+886*12#", "UART_CMD_QUERY_SPEED_DIAL1 Phone_Number = '+886*12#'"},
        {"+QVSTS1=2,", "UART_CMD_QUERY_SPEED_DIAL2 Phone_Number = ''"},
        {"+QVSTS1=3,112", "UART_CMD_QUERY_SPEED_DIAL3 Phone_Number = '112'"},
        {"+QVSTS1=4,20", "UART_CMD_QUERY_MUSIC_MIX_SETTING Percentage = 20 %"},
        {"+QVSTS1=5,30,1", "UART_CMD_QUERY_GPS_MIX_SETTING Percentage = 30 VoiceSharing = 1"},
        {"+QVSTS1=20", "UART_CMD_ENTER_DFU_MODE OK."},
        {"+QVSTS1=21,110", "UART_CMD_ASSIGN_SPEED_DIAL1 Phone_Number = '110'"},
        {"+QVSTS1=22,#1", "UART_CMD_ASSIGN_SPEED_DIAL2 Phone_Number = '#1'"},
        {"+QVSTS1=23,*2", "UART_CMD_ASSIGN_SPEED_DIAL3 Phone_Number = '*2'"},
        {"+QVSTS1=24,55", "UART_CMD_ASSIGN_MUSIC_MIX_SETTING Percentage = 55 %"},
        {"+QVSTS1=25,60,0", "UART_CMD_ASSIGN_GPS_MIX_SETTING Percentage = 60 VoiceSharing = 0"},
        {"+QVSTS1=27", "UART_CMD_RESTORE_DEFAULT_SETTING OK."},
        {"+QVSTS1=6,1", ""},
        {"+QVSTS1=", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReplyLogLine(ParseStatusLine(c.line)), c.log) << c.line;
    }
}

TEST(CommandTable, KnowsExactlyTheSixteenCodes) {
    std::string known;
    for (int32_t code = -1; code <= 100; ++code) {
        if (IsKnownCommand(code)) known += std::to_string(code) + ' ';
    }
    EXPECT_EQ(known, "1 2 3 4 5 7 8 9 10 20 21 22 23 24 25 27 ");
    EXPECT_EQ(kIdentitySignature, 0x050F6346);
}

}  // namespace
}  // namespace device
