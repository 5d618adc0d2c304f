// qvdfu: the KX-V5 service and recovery console tool. See UsageText() in CommandLine.cpp and
// the user guide.
#include <cstdio>
#include <string>
#include <vector>

#include "DFUEngine.h"
#include "app/SettingsFile.h"
#include "console/Commands.h"
#include "console/DoubleClickSession.h"
#include "console/Interrupt.h"
#include "console/Reporter.h"
#include "console/SupportLog.h"
#include "console/Terminal.h"
#include "console/WideText.h"

namespace {

using namespace service;

void TraceToLog(void* context, const wchar_t* line) {
    if (line != nullptr) static_cast<SupportLog*>(context)->Line("engine", ToNarrow(line));
}

Reporter::Mode OutputMode(const Options& options) {
    if (options.json) return Reporter::Mode::Json;
    if (StdoutIsTerminal() && PrepareTerminalOutput()) return Reporter::Mode::Terminal;
    return Reporter::Mode::Plain;
}

int RunCommand(const Options& options, SupportLog* log) {
    Reporter reporter(OutputMode(options), options.quiet, stdout, stderr, TerminalWidth());
    Context context{options, reporter, log};
    switch (options.command) {
        case Command::List:
            return RunList(context);
        case Command::Info:
            return RunInfo(context);
        case Command::Upgrade:
            return RunUpgrade(context);
        case Command::Recover:
            return RunRecover(context);
        case Command::Backup:
            return RunBackup(context);
        case Command::Restore:
            return RunRestore(context);
        case Command::Help:
        case Command::None:
            break;
    }
    std::fputs(UsageText(), stdout);
    return kExitDone;
}

int DoubleClicked() {
    SessionActions actions;
    actions.list = [] {
        Options options;
        options.command = Command::List;
        return RunCommand(options, nullptr);
    };
    actions.dfuDevices = [] { return ListDfuDevices(); };
    actions.rememberedFile = [] {
        std::string ini;
        return app::ReadStoredFirmwareFile("QVDFUUpgrade", false, &ini);
    };
    actions.recover = [](const std::string& file, const std::string& device) {
        Options options;
        options.command = Command::Recover;
        options.file = file;
        options.device = device;
        options.yes = true;  // the session has just asked
        return RunCommand(options, nullptr);
    };
    actions.say = [](const std::string& text) { std::printf("%s\n", text.c_str()); };
    actions.ask = [](const std::string& prompt, std::string& answer) {
        std::printf("%s", prompt.c_str());
        std::fflush(stdout);
        return ReadInputLine(answer);
    };
    return RunDoubleClickSession(actions);
}

}  // namespace

int main(int argc, char** argv) {
    InstallInterruptHandler();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() && OwnsConsole()) return DoubleClicked();

    Options options;
    std::string error;
    if (args.empty()) {
        std::fputs(UsageText(), stderr);
        return kExitUsage;
    }
    if (!ParseCommandLine(args, options, error)) {
        std::fprintf(stderr, "qvdfu: %s (qvdfu --help lists the commands)\n", error.c_str());
        return kExitUsage;
    }
    SupportLog log;
    if (!options.logFile.empty()) {
        if (!log.Open(options.logFile, error)) {
            std::fprintf(stderr, "qvdfu: %s\n", error.c_str());
            return kExitUsage;
        }
        std::string line = "qvdfu";
        for (const std::string& arg : args) line += " " + arg;
        log.Line("qvdfu", line);
        DFUEngine::SetTraceSink(TraceToLog, &log);
    }
    const int code = RunCommand(options, log.IsOpen() ? &log : nullptr);
    DFUEngine::SetTraceSink(nullptr, nullptr);
    if (log.IsOpen()) log.Line("qvdfu", "exit code " + std::to_string(code));
    return code;
}
