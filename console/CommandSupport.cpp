#include "console/CommandSupport.h"

#include <chrono>
#include <thread>

#include "DFUEngine.h"
#include "console/HeadsetPorts.h"
#include "console/Interrupt.h"
#include "console/Reporter.h"
#include "console/SupportLog.h"
#include "console/Terminal.h"
#include "console/WideText.h"
#include "device/protocol/ReplyLog.h"

namespace service {

std::string VersionText(int32_t version) {
    return device::VersionLogText(version);
}

int ReportEnding(Context& context, const Advice& advice, const std::string& detail,
                 const std::function<void(JsonLine&)>& extra, const std::string& todo) {
    if (advice.exitCode != kExitDone) {
        const std::string what = "qvdfu: " + detail + (detail.empty() ? "" : ": ") + advice.name;
        const std::string next = todo.empty() ? advice.todo : todo;
        const std::string words =
            "  " + std::string(advice.meaning) + (next.empty() ? "" : " ") + next;
        context.reporter.Error(what + "\n" + words);
        if (context.log != nullptr) context.log->Line("qvdfu", what + " -" + words);
    }
    JsonLine line("result");
    line.Text("result", advice.name).Number("code", advice.exitCode);
    if (extra) extra(line);
    if (advice.exitCode != kExitDone && !detail.empty()) line.Text("message", detail);
    context.reporter.Event(line);
    return advice.exitCode;
}

bool Confirm(Context& context, const std::string& question) {
    if (context.options.yes) return true;
    if (!StdinIsTerminal()) {
        context.reporter.Error("qvdfu: " + question +
                               " Not asked: standard input is not a terminal; pass --yes.");
        return false;
    }
    // On standard error, which stays on the terminal when the output goes elsewhere.
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!ReadInputLine(answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

std::vector<FoundHeadset> FindHeadsets(Context& context, std::vector<std::string>* busy) {
    std::vector<FoundHeadset> found;
    for (const ListedPort& port : ListSerialPorts()) {
        if (!port.mayAsk || Interrupted()) continue;
        HeadsetLink link(port.name, context.log);
        std::string reason;
        const HeadsetLink::OpenResult opened = link.Open(reason);
        if (opened == HeadsetLink::OpenResult::Busy && busy != nullptr) busy->push_back(port.name);
        if (opened != HeadsetLink::OpenResult::Opened) continue;
        FoundHeadset headset{port.name, {}};
        if (link.ReadIdentity(headset.identity) == HeadsetLink::Answer::Answered)
            found.push_back(headset);
    }
    return found;
}

Ending OpenEnding(HeadsetLink::OpenResult result) {
    switch (result) {
        case HeadsetLink::OpenResult::Opened:
            return Ending::Success;
        case HeadsetLink::OpenResult::NotFound:
            return Ending::NoHeadset;
        case HeadsetLink::OpenResult::Busy:
            return Ending::PortBusy;
        case HeadsetLink::OpenResult::Failed:
            break;
    }
    return Ending::PortFailed;
}

Ending OpenOneHeadset(Context& context, std::unique_ptr<HeadsetLink>& link,
                      HeadsetIdentity& identity, std::string& detail) {
    std::string port = context.options.port;
    if (port.empty()) {
        std::vector<std::string> busy;
        const std::vector<FoundHeadset> found = FindHeadsets(context, &busy);
        if (Interrupted()) return Ending::Interrupted;
        if (found.size() > 1) {
            detail = "headsets on";
            for (const FoundHeadset& h : found) detail += " " + h.port;
            return Ending::SeveralDevices;
        }
        if (found.empty()) {
            detail = busy.empty() ? "no headset found" : "no headset found (busy: " + busy[0] + ")";
            return busy.empty() ? Ending::NoHeadset : Ending::PortBusy;
        }
        port = found[0].port;
    }
    link = std::make_unique<HeadsetLink>(port, context.log);
    std::string reason;
    const Ending opened = OpenEnding(link->Open(reason));
    if (opened != Ending::Success) {
        detail = port + ": " + reason;
        return opened;
    }
    switch (link->ReadIdentity(identity)) {
        case HeadsetLink::Answer::Answered:
            return Ending::Success;
        case HeadsetLink::Answer::Interrupted:
            return Ending::Interrupted;
        case HeadsetLink::Answer::NoAnswer:
            detail = "no headset answers on " + port;
            return Ending::NoHeadset;
        case HeadsetLink::Answer::LineLost:
            break;
    }
    detail = port + ": the line was lost";
    return Ending::NoAnswer;
}

Ending CheckFirmware(Context&, const std::string& path, upgrade::FirmwareFileInfo& info,
                     std::string& detail) {
    const auto engineCheck = [](const std::string& file, upgrade::FirmwareFileInfo& out) {
        CStringX comment;
        if (!DFUEngine::IsDFUFileValid(ToWide(file).c_str(), comment, out.vendor, out.product,
                                       out.release)) {
            return false;
        }
        out.comment = ToNarrow(comment.GetString());
        return true;
    };
    detail = path;
    switch (upgrade::CheckFirmwareFile(path, engineCheck, info)) {
        case upgrade::FirmwareVerdict::Accepted:
            return Ending::Success;
        case upgrade::FirmwareVerdict::Invalid:
            return Ending::BadFile;
        case upgrade::FirmwareVerdict::NoMakersMark:
            break;
    }
    return Ending::NoMakersMark;
}

std::vector<std::string> ListDfuDevices() {
    CStringListX names;
    DFUEngine::GetUSBDeviceNames(names);
    std::vector<std::string> devices;
    for (auto pos = names.GetHeadPosition(); pos != nullptr;)
        devices.push_back(ToNarrow(names.GetNext(pos).GetString()));
    return devices;
}

bool WaitForHeadset(Context& context, const std::string& port, int timeoutMs,
                    HeadsetIdentity& identity) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Interrupted()) {
        HeadsetLink link(port, context.log);
        std::string reason;
        if (link.Open(reason) == HeadsetLink::OpenResult::Opened &&
            link.ReadIdentity(identity) == HeadsetLink::Answer::Answered) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
}

}  // namespace service
