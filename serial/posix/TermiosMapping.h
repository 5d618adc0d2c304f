// The Win32 device control block (DCB) mapped onto POSIX termios.
//
// termios carries the speed, data bits, parity, stop bits, hardware (RTS/CTS) and software
// (XON/XOFF) flow control and the XON/XOFF characters. The remaining DCB fields (limits,
// error, end-of-file and event characters, DTR handling) have no tty counterpart; the device
// keeps them so that GetCommState returns what SetCommState was given.
#pragma once

#include <termios.h>

#include "serial/CommApi.h"

namespace commapi::posix {

// Puts the tty into raw mode: no line editing, echo, signals or character translation.
bool MakeRaw(int fd);

// A DCB describing the tty's current termios settings.
DCB DcbFromTermios(const termios& settings);

// Writes the DCB's line settings into termios. Returns ERROR_SUCCESS or
// ERROR_INVALID_PARAMETER for a combination a serial driver rejects (an unsupported speed,
// data bits outside 5 to 8, 1.5 stop bits with more than 5 data bits, 2 with 5).
DWORD TermiosFromDcb(const DCB& dcb, termios* settings);

}  // namespace commapi::posix
