// Ctrl+C: the first one asks the running command to stop cleanly; the command looks at the
// flag between requests and while it waits for the engine.
#pragma once

namespace service {

// SIGINT (and SIGTERM) on POSIX; the console's Ctrl+C and Ctrl+Break on Windows.
void InstallInterruptHandler();
bool Interrupted();
// For tests and for the handler.
void SetInterrupted(bool value);

}  // namespace service
