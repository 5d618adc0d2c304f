#include <gtest/gtest.h>

#include "device/protocol/Protocol.h"

namespace device {
namespace {

struct RequestCase {
    int32_t code;
    const char* expected;
};

class FormatRequestTest : public ::testing::TestWithParam<RequestCase> {
  protected:
    static RequestValues Values() {
        RequestValues v;
        v.SpeedDial1 = "+886*12#";
        v.SpeedDial2 = "";
        v.SpeedDial3 = "0912345678";
        v.A2dpMixPercent = 35;
        v.GpsMixPercent = 80;
        v.GpsVoiceSharing = 1;
        return v;
    }
};

TEST_P(FormatRequestTest, BuildsTheRequestOfEachCode) {
    EXPECT_EQ(FormatRequest(GetParam().code, Values()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    CommandTable, FormatRequestTest,
    ::testing::Values(RequestCase{7, "AT+QVCMD1=7\r"}, RequestCase{8, "AT+QVCMD1=8\r"},
                      RequestCase{9, "AT+QVCMD1=9\r"}, RequestCase{10, "AT+QVCMD1=10\r"},
                      RequestCase{1, "AT+QVCMD1=1\r"}, RequestCase{2, "AT+QVCMD1=2\r"},
                      RequestCase{3, "AT+QVCMD1=3\r"}, RequestCase{4, "AT+QVCMD1=4\r"},
                      RequestCase{5, "AT+QVCMD1=5\r"}, RequestCase{20, "AT+QVCMD1=20\r"},
                      RequestCase{27, "AT+QVCMD1=27\r"}, RequestCase{21, "AT+QVCMD1=21,+886*12#\r"},
                      // An empty number leaves nothing between the comma and the CR.
                      RequestCase{22, "AT+QVCMD1=22,\r"},
                      RequestCase{23, "AT+QVCMD1=23,0912345678\r"},
                      RequestCase{24, "AT+QVCMD1=24,35\r"},
                      RequestCase{25, "AT+QVCMD1=25,80,1\r"}));

TEST(FormatRequest, WritesNegativeNumbersWithASign) {
    RequestValues v;
    v.A2dpMixPercent = -1;
    v.GpsMixPercent = 0;
    v.GpsVoiceSharing = -1;
    EXPECT_EQ(FormatRequest(24, v), "AT+QVCMD1=24,-1\r");
    EXPECT_EQ(FormatRequest(25, v), "AT+QVCMD1=25,0,-1\r");
}

TEST(FormatRequest, CutsAnOverlongDialSoTheTerminatorStillFits) {
    RequestValues v;
    v.SpeedDial1 = std::string(400, '5');
    const std::string line = FormatRequest(21, v);
    EXPECT_EQ(line.size(), kMaxRequestLength);
    EXPECT_EQ(line.substr(0, 14), "AT+QVCMD1=21,5");
    EXPECT_EQ(line.back(), '\r');
    EXPECT_EQ(line.find('\r'), line.size() - 1);

    v.SpeedDial1 = std::string(kMaxRequestLength - 14, '5');  // exactly fits
    EXPECT_EQ(FormatRequest(21, v), "AT+QVCMD1=21," + v.SpeedDial1 + "\r");
}

TEST(FormatRequest, UsesThePlainFormForCodesOutsideTheTable) {
    EXPECT_EQ(FormatRequest(99, RequestValues()), "AT+QVCMD1=99\r");
}

}  // namespace
}  // namespace device
