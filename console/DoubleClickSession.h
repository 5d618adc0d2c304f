// qvdfu started by a double-click on Windows, with a console window of its own and no
// command line: it lists what it finds, offers to recover a headset waiting in DFU mode, asks
// before writing, and waits for Enter so that the window does not vanish with its text.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace service {

struct SessionActions {
    std::function<int()> list;  // qvdfu list
    std::function<std::vector<std::string>()> dfuDevices;
    std::function<std::string()> rememberedFile;  // the window's last firmware file, or ""
    std::function<int(const std::string& file, const std::string& device)> recover;
    std::function<void(const std::string& text)> say;
    // Shows the prompt and reads a line; false when input has ended.
    std::function<bool(const std::string& prompt, std::string& answer)> ask;
};

// Returns the exit code of what was done (the list's, or the recovery's).
int RunDoubleClickSession(const SessionActions& actions);

}  // namespace service
