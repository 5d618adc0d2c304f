// The command line of qvdfu: a command word, at most one file, and options that may come
// before or after the file.
#pragma once

#include <string>
#include <vector>

namespace service {

enum class Command { None, Help, List, Info, Upgrade, Recover, Backup, Restore };

struct Options {
    Command command = Command::None;
    std::string file;     // upgrade, backup, restore: required; recover: optional
    std::string port;     // --port PORT
    bool all = false;     // --all (upgrade)
    std::string device;   // --device NAME (recover)
    bool yes = false;     // --yes: no questions
    bool json = false;    // --json: one JSON object per line
    bool quiet = false;   // --quiet: no progress and no step messages
    std::string logFile;  // --log FILE
};

// False with a message naming what is wrong.
bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error);

const char* UsageText();

// The command's word as typed ("upgrade").
const char* CommandWord(Command command);

}  // namespace service
