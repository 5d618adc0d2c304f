#include "console/CommandLine.h"

#include <cstring>

namespace service {
namespace {

struct CommandName {
    const char* word;
    Command command;
};

const CommandName kCommands[] = {
    {"list", Command::List},       {"info", Command::Info},     {"upgrade", Command::Upgrade},
    {"recover", Command::Recover}, {"backup", Command::Backup}, {"restore", Command::Restore},
    {"help", Command::Help},
};

// Which commands take which option; the rest are taken by every command.
bool TakesPort(Command c) {
    return c == Command::Info || c == Command::Upgrade || c == Command::Backup ||
           c == Command::Restore;
}

}  // namespace

const char* CommandWord(Command command) {
    for (const CommandName& name : kCommands) {
        if (name.command == command) return name.word;
    }
    return "";
}

const char* UsageText() {
    return "usage: qvdfu COMMAND [FILE] [options]\n"
           "Service and recovery tool for the KX-V5 headset.\n"
           "\n"
           "  qvdfu list                      every headset and every device waiting in DFU mode\n"
           "  qvdfu info [--port PORT]        identity, version, name, address and settings\n"
           "  qvdfu upgrade FILE [--port PORT | --all]\n"
           "                                  upgrade one headset (or every attached one)\n"
           "  qvdfu recover [FILE] [--device NAME]\n"
           "                                  write FILE (default: the firmware file the window\n"
           "                                  used last) to a device waiting in DFU mode\n"
           "  qvdfu backup FILE [--port PORT] save speed dials, mixes and voice sharing to FILE\n"
           "  qvdfu restore FILE [--port PORT]\n"
           "                                  send them back to the headset\n"
           "\n"
           "  --port PORT   the headset's port (COM5; elsewhere also a /dev path)\n"
           "  --all         upgrade every attached headset at once\n"
           "  --device NAME the DFU device to recover, as qvdfu list names it\n"
           "  --yes         ask no questions (needed when standard input is not a terminal)\n"
           "  --json        one JSON object per line on standard output\n"
           "  --log FILE    log every request, reply and engine event with timestamps\n"
           "                (the log holds phone numbers and the headset's address)\n"
           "  --quiet       no progress and no step messages\n"
           "\n"
           "Exit codes: 0 done, 1 usage or refused without --yes, 2 no device, 3 bad or\n"
           "foreign file, 4 device refused or failed, 5 interrupted, 6 port busy or cannot be\n"
           "opened.\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error) {
    options = Options();
    std::vector<std::string> words;
    bool portGiven = false;
    bool deviceGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            options.command = Command::Help;
            return true;
        } else if (arg == "--port") {
            if (!value(options.port)) return false;
            portGiven = true;
        } else if (arg == "--device") {
            if (!value(options.device)) return false;
            deviceGiven = true;
        } else if (arg == "--log") {
            if (!value(options.logFile)) return false;
        } else if (arg == "--all") {
            options.all = true;
        } else if (arg == "--yes") {
            options.yes = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option: " + arg;
            return false;
        } else {
            words.push_back(arg);
        }
    }
    if (words.empty()) {
        error = "no command given";
        return false;
    }
    for (const CommandName& name : kCommands) {
        if (words[0] == name.word) options.command = name.command;
    }
    const Command c = options.command;
    if (c == Command::None) {
        error = "unknown command: " + words[0];
        return false;
    }
    if (c == Command::Help) return true;
    const bool needsFile = c == Command::Upgrade || c == Command::Backup || c == Command::Restore;
    const bool takesFile = needsFile || c == Command::Recover;
    if (words.size() > (takesFile ? 2u : 1u)) {
        error = std::string(CommandWord(c)) + " takes " + (takesFile ? "one file" : "no file") +
                ", not " + words.back();
        return false;
    }
    if (words.size() == 2) options.file = words[1];
    if (needsFile && options.file.empty()) {
        error = std::string(CommandWord(c)) + " needs a FILE";
        return false;
    }
    if (portGiven && !TakesPort(c)) {
        error = std::string("--port does not go with ") + CommandWord(c);
        return false;
    }
    if (options.all && c != Command::Upgrade) {
        error = std::string("--all goes with upgrade only, not ") + CommandWord(c);
        return false;
    }
    if (options.all && portGiven) {
        error = "--port and --all exclude each other";
        return false;
    }
    if (deviceGiven && c != Command::Recover) {
        error = std::string("--device goes with recover only, not ") + CommandWord(c);
        return false;
    }
    return true;
}

}  // namespace service
