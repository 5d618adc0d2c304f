// Windows: the console API. Ctrl+C and Ctrl+Break reach the handler on a thread of their own
// (SetConsoleCtrlHandler); answering TRUE keeps the process alive so that the command can
// stop the engine and end cleanly.
#include <windows.h>

#include <iostream>

#include "console/Interrupt.h"
#include "console/Terminal.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace service {
namespace {

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        SetInterrupted(true);
        return TRUE;
    }
    return FALSE;
}

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != FALSE;
}

}  // namespace

void InstallInterruptHandler() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StdinIsTerminal() {
    return IsConsole(STD_INPUT_HANDLE);
}

bool StdoutIsTerminal() {
    return IsConsole(STD_OUTPUT_HANDLE);
}

// Windows 10 and later draw escape sequences once asked to.
bool PrepareTerminalOutput() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(out, &mode)) return false;
    return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
}

int TerminalWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 20) return width;
    }
    return 80;
}

// A console started for this program alone lists one process: the program itself.
bool OwnsConsole() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

bool ReadInputLine(std::string& line) {
    if (!std::getline(std::cin, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

}  // namespace service
