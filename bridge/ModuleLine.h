// The debugger line the library writes when it is loaded into a process and unloaded again.
#pragma once

#include <ctime>

namespace bridge {

constexpr char kAttachMessage[] = "DfuBridge.dll : Enter DLL_PROCESS_ATTACH, DLL attached.  ***** ";
constexpr char kDetachMessage[] =
    "DfuBridge.dll : Enter DLL_PROCESS_DETACH : DLL detached.  ***** ";

using ModuleLine = char[512];

// "<message> - <asctime text>\n"; the asctime text ends in its own line break.
void FormatModuleLine(ModuleLine& line, const char* message, const std::tm& localTime);

// Formats the line with the current local time and writes it to the platform's debug output:
// the debugger on Windows, standard error on request on POSIX (see ModuleLine_posix.cpp).
void WriteModuleLine(const char* message);

}  // namespace bridge
