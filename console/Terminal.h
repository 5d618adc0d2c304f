// The console qvdfu runs in: whether its input and output are a terminal, the terminal's
// width, whether the program owns its console (started by a double-click on Windows), and
// Ctrl+C. One half per platform.
#pragma once

#include <string>

namespace service {

bool StdinIsTerminal();
bool StdoutIsTerminal();
// Makes the terminal understand the escape sequences that redraw progress bars in place;
// false when it cannot (an old Windows console), and then plain lines are written instead.
bool PrepareTerminalOutput();
int TerminalWidth();
// True when no other program shares the console: on Windows, started from Explorer, with a
// console window of its own that closes when the program ends.
bool OwnsConsole();
// One line of standard input without its line end; false at its end.
bool ReadInputLine(std::string& line);

}  // namespace service
