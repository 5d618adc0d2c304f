// POSIX: ttys, SIGINT and SIGTERM. A program here always shares its terminal with a shell.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <iostream>

#include "console/Interrupt.h"
#include "console/Terminal.h"

namespace service {
namespace {

void OnInterrupt(int) {
    SetInterrupted(true);
}

}  // namespace

void InstallInterruptHandler() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed pipe on standard output is an error to report, not a reason to die.
    signal(SIGPIPE, SIG_IGN);
}

bool StdinIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

bool StdoutIsTerminal() {
    return isatty(STDOUT_FILENO) != 0;
}

bool PrepareTerminalOutput() {
    return true;
}

int TerminalWidth() {
    winsize size = {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
    return 80;
}

bool OwnsConsole() {
    return false;
}

bool ReadInputLine(std::string& line) {
    if (!std::getline(std::cin, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

}  // namespace service
