#include "serial/posix/TermiosMapping.h"

#include <cstring>

namespace commapi::posix {
namespace {

struct SpeedEntry {
    DWORD bitsPerSecond;
    speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

bool SpeedCode(DWORD bitsPerSecond, speed_t* code) {
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.bitsPerSecond == bitsPerSecond) {
            *code = entry.code;
            return true;
        }
    }
    return false;
}

DWORD BitsPerSecond(speed_t code) {
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.code == code) return entry.bitsPerSecond;
    }
    return 9600;
}

tcflag_t CharacterSize(BYTE byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

}  // namespace

bool MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    // With VMIN 0 an empty read would return 0, which a tty also returns after a hang-up;
    // with VMIN 1 an empty non-blocking read fails with EAGAIN, and 0 means hang-up only.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

DCB DcbFromTermios(const termios& settings) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = BitsPerSecond(cfgetospeed(&settings));
    dcb.fBinary = 1;
    dcb.fParity = (settings.c_iflag & INPCK) ? 1 : 0;
    dcb.fOutxCtsFlow = (settings.c_cflag & CRTSCTS) ? 1 : 0;
    dcb.fRtsControl = dcb.fOutxCtsFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fOutX = (settings.c_iflag & IXON) ? 1 : 0;
    dcb.fInX = (settings.c_iflag & IXOFF) ? 1 : 0;
    switch (settings.c_cflag & CSIZE) {
        case CS5:
            dcb.ByteSize = 5;
            break;
        case CS6:
            dcb.ByteSize = 6;
            break;
        case CS7:
            dcb.ByteSize = 7;
            break;
        default:
            dcb.ByteSize = 8;
            break;
    }
    if (!(settings.c_cflag & PARENB)) {
        dcb.Parity = NOPARITY;
#ifdef CMSPAR
    } else if (settings.c_cflag & CMSPAR) {
        dcb.Parity = (settings.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
#endif
    } else {
        dcb.Parity = (settings.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    }
    if (settings.c_cflag & CSTOPB) {
        dcb.StopBits = dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    } else {
        dcb.StopBits = ONESTOPBIT;
    }
    dcb.XonChar = static_cast<char>(settings.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(settings.c_cc[VSTOP]);
    return dcb;
}

DWORD TermiosFromDcb(const DCB& dcb, termios* settings) {
    speed_t speed = 0;
    if (!SpeedCode(dcb.BaudRate, &speed)) return ERROR_INVALID_PARAMETER;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return ERROR_INVALID_PARAMETER;
    if (dcb.Parity > SPACEPARITY) return ERROR_INVALID_PARAMETER;
    if (dcb.StopBits > TWOSTOPBITS) return ERROR_INVALID_PARAMETER;
    if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) return ERROR_INVALID_PARAMETER;
    if (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5) return ERROR_INVALID_PARAMETER;
#ifndef CMSPAR
    if (dcb.Parity == MARKPARITY || dcb.Parity == SPACEPARITY) return ERROR_INVALID_PARAMETER;
#endif

    cfsetispeed(settings, speed);
    cfsetospeed(settings, speed);

    settings->c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    settings->c_cflag &= ~CMSPAR;
#endif
    settings->c_cflag |= CharacterSize(dcb.ByteSize) | CLOCAL | CREAD;
    switch (dcb.Parity) {
        case ODDPARITY:
            settings->c_cflag |= PARENB | PARODD;
            break;
        case EVENPARITY:
            settings->c_cflag |= PARENB;
            break;
#ifdef CMSPAR
        case MARKPARITY:
            settings->c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case SPACEPARITY:
            settings->c_cflag |= PARENB | CMSPAR;
            break;
#endif
        default:
            break;
    }
    // With 5 data bits a UART sends 1.5 stop bits where CSTOPB asks for 2.
    if (dcb.StopBits != ONESTOPBIT) settings->c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        settings->c_cflag |= CRTSCTS;
    }

    settings->c_iflag &= ~(INPCK | IXON | IXOFF);
    if (dcb.fParity) settings->c_iflag |= INPCK;
    if (dcb.fOutX) settings->c_iflag |= IXON;
    if (dcb.fInX) settings->c_iflag |= IXOFF;
    settings->c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    settings->c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    return ERROR_SUCCESS;
}

}  // namespace commapi::posix
