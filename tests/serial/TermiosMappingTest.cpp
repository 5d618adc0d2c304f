// The DCB line settings as termios flags. Checked on the mapping itself: a pty (the only tty
// the tests have) keeps the speed and stop bits but always works with 8 bits, no parity.
#include <gtest/gtest.h>

#include "serial/posix/TermiosMapping.h"

using namespace commapi;
using commapi::posix::DcbFromTermios;
using commapi::posix::TermiosFromDcb;

namespace {

DCB Line(DWORD baudRate, BYTE byteSize, BYTE parity, BYTE stopBits) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = baudRate;
    dcb.ByteSize = byteSize;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

struct MappingCase {
    DCB dcb;
    speed_t speed;
    tcflag_t controlFlags;  // CSIZE, PARENB, PARODD, CMSPAR, CSTOPB
};

class TermiosMappingTest : public ::testing::TestWithParam<MappingCase> {};

TEST_P(TermiosMappingTest, LineSettingsMapBothWays) {
    const MappingCase& line = GetParam();
    termios settings{};
    ASSERT_EQ(ERROR_SUCCESS, TermiosFromDcb(line.dcb, &settings));
    EXPECT_EQ(line.speed, cfgetospeed(&settings));
    EXPECT_EQ(line.controlFlags, settings.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB));
    DCB back = DcbFromTermios(settings);
    EXPECT_EQ(line.dcb.BaudRate, back.BaudRate);
    EXPECT_EQ(line.dcb.ByteSize, back.ByteSize);
    EXPECT_EQ(line.dcb.Parity, back.Parity);
    EXPECT_EQ(line.dcb.StopBits, back.StopBits);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TermiosMappingTest,
    ::testing::Values(
        MappingCase{Line(115200, 8, NOPARITY, ONESTOPBIT), B115200, CS8},
        MappingCase{Line(9600, 7, EVENPARITY, TWOSTOPBITS), B9600, CS7 | PARENB | CSTOPB},
        MappingCase{Line(57600, 8, ODDPARITY, ONESTOPBIT), B57600, CS8 | PARENB | PARODD},
        MappingCase{Line(1200, 6, MARKPARITY, ONESTOPBIT), B1200, CS6 | PARENB | PARODD | CMSPAR},
        MappingCase{Line(300, 5, SPACEPARITY, ONE5STOPBITS), B300,
                    CS5 | PARENB | CMSPAR | CSTOPB}));

TEST(TermiosMappingRejectTest, SettingsASerialDriverRefusesAreInvalidParameters) {
    const DCB refused[] = {
        Line(10400, 8, NOPARITY, ONESTOPBIT),  // no such tty speed
        Line(9600, 4, NOPARITY, ONESTOPBIT),  Line(9600, 9, NOPARITY, ONESTOPBIT),
        Line(9600, 8, 5, ONESTOPBIT),         Line(9600, 8, NOPARITY, ONE5STOPBITS),
        Line(9600, 5, NOPARITY, TWOSTOPBITS),
    };
    for (const DCB& dcb : refused) {
        termios settings{};
        EXPECT_EQ(ERROR_INVALID_PARAMETER, TermiosFromDcb(dcb, &settings))
            << "baud " << dcb.BaudRate << " bits " << int(dcb.ByteSize);
    }
}

TEST(TermiosMappingFlowTest, FlowControlAndXOnXOffCharactersMap) {
    DCB dcb = Line(115200, 8, NOPARITY, ONESTOPBIT);
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fParity = 1;
    dcb.XonChar = 0x01;
    dcb.XoffChar = 0x02;
    termios settings{};
    ASSERT_EQ(ERROR_SUCCESS, TermiosFromDcb(dcb, &settings));
    EXPECT_EQ(static_cast<tcflag_t>(IXON | IXOFF | INPCK),
              settings.c_iflag & (IXON | IXOFF | INPCK));
    EXPECT_NE(0u, settings.c_cflag & CRTSCTS);
    EXPECT_EQ(0x01, settings.c_cc[VSTART]);
    EXPECT_EQ(0x02, settings.c_cc[VSTOP]);
}

}  // namespace
