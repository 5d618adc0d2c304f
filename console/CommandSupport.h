// What the commands share: the run's context, the endings, the questions, finding and
// opening headsets, the firmware file checks, the DFU device list and the headset's return.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/CommandLine.h"
#include "console/HeadsetLink.h"
#include "console/JsonLine.h"
#include "console/ResultAdvice.h"
#include "upgrade/FirmwareFileChecks.h"

namespace service {

class Reporter;
class SupportLog;

struct Context {
    const Options& options;
    Reporter& reporter;
    SupportLog* log;  // null without --log
};

// How a command ended. For a failure, on standard error: what failed (detail) and the
// ending's name, then on a second line what it means and what to do (todo, when given,
// instead of the advice's own). In JSON mode the result event, with extra members after
// "result" and "code". Returns the exit code.
int ReportEnding(Context& context, const Advice& advice, const std::string& detail,
                 const std::function<void(JsonLine&)>& extra = nullptr,
                 const std::string& todo = "");

// --yes, or a yes from the terminal. Without a terminal on standard input nothing is asked
// and the answer is no.
bool Confirm(Context& context, const std::string& question);

struct FoundHeadset {
    std::string port;
    HeadsetIdentity identity;
};

// Asks every port that may be a headset's; each is closed again. busy receives the ports
// another program holds.
std::vector<FoundHeadset> FindHeadsets(Context& context, std::vector<std::string>* busy);

// What a port that cannot be opened means: no headset, busy, or failed.
Ending OpenEnding(HeadsetLink::OpenResult result);

// The headset of --port, or else the only one attached: opened, its identity read. On a
// failure, the ending and a detail line.
Ending OpenOneHeadset(Context& context, std::unique_ptr<HeadsetLink>& link,
                      HeadsetIdentity& identity, std::string& detail);

// The engine's validation and the maker's mark.
Ending CheckFirmware(Context& context, const std::string& path, upgrade::FirmwareFileInfo& info,
                     std::string& detail);

// The DFU devices attached now, as the engine names them.
std::vector<std::string> ListDfuDevices();

// Waits up to timeoutMs for a headset to answer on the port (the identity and the version).
bool WaitForHeadset(Context& context, const std::string& port, int timeoutMs,
                    HeadsetIdentity& identity);

// "1.03": the version as text, always "%d.%02d".
std::string VersionText(int32_t version);

}  // namespace service
