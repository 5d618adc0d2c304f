// upgrade and recover: the firmware file checks, the hand-over of each headset from its serial
// port to the DFU device it becomes, the engine's three steps (in parallel with --all, each
// headset with its own engine), and the headset's return.
#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

#include "DFUEngine.h"
#include "app/SettingsFile.h"
#include "console/Commands.h"
#include "console/DfuHandOver.h"
#include "console/FlashJob.h"
#include "console/HeadsetPorts.h"
#include "console/Interrupt.h"
#include "console/Reporter.h"
#include "console/SupportLog.h"
#include "console/WideText.h"
#include "device/HeadsetUsbIds.h"
#include "upgrade/names/DfuNames.h"

namespace service {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDeviceWaitMs = 30000;  // for the DFU device after code 20, as the window waits
constexpr int kReturnWaitMs = 30000;  // for the headset on its serial side after the upgrade
constexpr int kDevicePollMs = 100;
// The settings file of the window, whose last firmware file recover takes.
constexpr const char* kWindowBaseName = "QVDFUUpgrade";

// One headset being upgraded.
struct Target {
    std::string port;
    HeadsetIdentity before;
    int bar = -1;
    Ending handOver = Ending::Success;
    std::string handOverDetail;
    std::string dfuDevice;
    bool flashed = false;  // the engine ran
    FlashOutcome flash;
    bool back = false;
    HeadsetIdentity after;
};

// A suffix ID of 0xFFFF matches any device.
bool IdFits(std::uint32_t fileId, std::uint32_t deviceId) {
    return fileId == 0xFFFF || fileId == deviceId;
}

std::string Hex4(std::uint32_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value & 0xFFFF));
    return text;
}

std::string FileDescription(const std::string& path, const upgrade::FirmwareFileInfo& info) {
    return path + " (" + info.comment + ")";
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// The headset has answered code 20 and closed its serial side; the DFU device it becomes is
// told apart from the others as DfuHandOver says.
Ending HandOver(Context& context, Target& target, std::vector<std::string>& bound) {
    HeadsetLink link(target.port, context.log);
    std::string reason;
    const Ending opened = OpenEnding(link.Open(reason));
    if (opened != Ending::Success) {
        target.handOverDetail = target.port + ": " + reason;
        return opened;
    }
    const std::vector<std::string> before = ListDfuDevices();
    device::StatusReply reply;
    const HeadsetLink::Answer answer = link.Request(20, device::RequestValues(), reply);
    link.Close();
    if (answer == HeadsetLink::Answer::Interrupted) return Ending::Interrupted;
    if (answer != HeadsetLink::Answer::Answered) {
        target.handOverDetail = target.port + ": the headset did not accept the upgrade request";
        return Ending::NoAnswer;
    }
    context.reporter.Step(target.bar, "waiting");
    const auto deadline = Clock::now() + std::chrono::milliseconds(kDeviceWaitMs);
    DfuHandOver handOver(before, bound);
    while (!Interrupted()) {
        const std::string name = handOver.Look(ListDfuDevices());
        if (!name.empty()) {
            target.dfuDevice = name;
            bound.push_back(name);
            if (context.log != nullptr)
                context.log->Line(target.port, "became the DFU device " + name);
            return Ending::Success;
        }
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(kDevicePollMs));
    }
    if (Interrupted()) return Ending::Interrupted;
    const std::string old = handOver.Fallback();
    if (!old.empty()) {
        target.dfuDevice = old;
        bound.push_back(old);
        return Ending::Success;
    }
    target.handOverDetail = target.port + ": no DFU device appeared within 30 s";
    return Ending::NoDfuDevice;
}

// The engine's steps, then the wait for the headset on its serial side.
void FlashAndReturn(Context& context, Target& target, FlashJob& job) {
    target.flash = job.Run();
    target.flashed = true;
    if (!target.flash.Succeeded() || target.flash.WaitsForReplug() || Interrupted()) return;
    context.reporter.Step(target.bar, "restart");
    target.back = WaitForHeadset(context, target.port, kReturnWaitMs, target.after);
}

// How one headset's upgrade (or the recovery of one DFU device) ended; its exit code.
// label: its port or DFU device; key: "port" or "device" in the result event.
int ReportFlash(Context& context, const std::string& label, const std::string& key,
                const std::string& dfuDevice, const FlashOutcome& flash, const std::string& file) {
    const auto where = [&](JsonLine& line) { line.Text(key, label); };
    if (!flash.opened) {
        return ReportEnding(context, AdviceForOpenProblem(flash.openProblem),
                            label + ": " + DescribeOpenFailure(flash, dfuDevice), where);
    }
    if (!flash.started) {
        return ReportEnding(context, AdviceForResult(DFUEngine::fail_unknown),
                            label + ": the engine did not start the " + flash.step, where);
    }
    const Advice advice = AdviceForResult(flash.result);
    const bool interrupted = flash.result == DFUEngine::aborted;
    const std::string detail =
        label + (interrupted ? ": interrupted during the " + flash.step
                             : ": the " + flash.step + " failed in " +
                                   upgrade::OperationName(flash.operation) + " / " +
                                   upgrade::SubOperationName(flash.subOperation));
    return ReportEnding(
        context, advice, detail,
        [&](JsonLine& line) {
            where(line);
            line.Text("operation", upgrade::OperationName(flash.operation))
                .Text("sub_operation", upgrade::SubOperationName(flash.subOperation));
        },
        interrupted ? "The headset stays in DFU mode: qvdfu recover " + file + " finishes the job."
                    : std::string());
}

int ReportTarget(Context& context, const Target& target, const std::string& file) {
    const auto where = [&](JsonLine& line) { line.Text("port", target.port); };
    if (target.handOver != Ending::Success)
        return ReportEnding(context, AdviceFor(target.handOver), target.handOverDetail, where);
    if (!target.flashed) return ReportEnding(context, AdviceFor(Ending::Interrupted), "", where);
    if (!target.flash.Succeeded())
        return ReportFlash(context, target.port, "port", target.dfuDevice, target.flash, file);
    if (target.flash.WaitsForReplug()) {
        context.reporter.Say(target.port +
                             ": the firmware is written and verified. Unplug and replug the "
                             "headset: it then starts the new firmware.");
        return ReportEnding(context, AdviceFor(Ending::Success), "", [&](JsonLine& line) {
            where(line);
            line.Flag("replug", true);
        });
    }
    if (!target.back) {
        if (Interrupted()) return ReportEnding(context, AdviceFor(Ending::Interrupted), "", where);
        return ReportEnding(context, AdviceFor(Ending::NotBack),
                            target.port + ": no headset answered within 30 s after the upgrade",
                            where);
    }
    context.reporter.Say(target.port + ": upgraded from " + VersionText(target.before.version) +
                         " to " + VersionText(target.after.version));
    return ReportEnding(context, AdviceFor(Ending::Success), "", [&](JsonLine& line) {
        line.Text("version", VersionText(target.after.version));
        where(line);
    });
}

// The file checks every upgrade and recovery starts with.
Ending CheckFile(Context& context, const std::string& file, upgrade::FirmwareFileInfo& info,
                 std::string& detail) {
    const Ending checked = CheckFirmware(context, file, info, detail);
    if (checked != Ending::Success) return checked;
    if (context.log != nullptr) {
        context.log->Line("qvdfu", "firmware file " + file + ": " + info.comment + ", USB ID " +
                                       Hex4(info.vendor) + ":" + Hex4(info.product));
    }
    return Ending::Success;
}

}  // namespace

int RunUpgrade(Context& context) {
    const std::string& file = context.options.file;
    upgrade::FirmwareFileInfo info;
    std::string detail;
    Ending ending = CheckFile(context, file, info, detail);
    if (ending != Ending::Success) return ReportEnding(context, AdviceFor(ending), detail);
    // Refused before the headset is asked to leave its serial side, which it could not come
    // back from without an upgrade.
    if (!IdFits(info.vendor, device::kHeadsetUsbVendor) ||
        !IdFits(info.product, device::kHeadsetUsbProduct)) {
        return ReportEnding(context, AdviceFor(Ending::ForeignFile),
                            file + " is for USB device " + Hex4(info.vendor) + ":" +
                                Hex4(info.product) + ", the KX-V5 is " +
                                Hex4(device::kHeadsetUsbVendor) + ":" +
                                Hex4(device::kHeadsetUsbProduct));
    }

    std::vector<Target> targets;
    if (context.options.all) {
        std::vector<std::string> busy;
        for (const FoundHeadset& found : FindHeadsets(context, &busy)) {
            Target target;
            target.port = found.port;
            target.before = found.identity;
            targets.push_back(target);
        }
        for (const std::string& port : busy)
            context.reporter.Say(port + " is in use by another program: left out");
        if (Interrupted()) return ReportEnding(context, AdviceFor(Ending::Interrupted), "");
        if (targets.empty())
            return ReportEnding(context, AdviceFor(Ending::NoHeadset), "no headset found");
    } else {
        std::unique_ptr<HeadsetLink> link;
        Target target;
        ending = OpenOneHeadset(context, link, target.before, detail);
        if (ending != Ending::Success) return ReportEnding(context, AdviceFor(ending), detail);
        target.port = link->Port();
        targets.push_back(target);
    }
    for (const Target& target : targets) {
        if (!upgrade::FirmwareNameMatchesModel(file, target.before.name)) {
            return ReportEnding(context, AdviceFor(Ending::WrongModel),
                                target.port + " is a " + target.before.name +
                                    ", the file's name does not begin with " + target.before.name +
                                    "_",
                                [&](JsonLine& line) { line.Text("port", target.port); });
        }
    }

    std::string which;
    for (const Target& target : targets) {
        which += (which.empty() ? "" : ", ") + target.port + " (" + target.before.name +
                 ", firmware " + VersionText(target.before.version) + ")";
    }
    if (!Confirm(context, "Upgrade " + which + " with " + FileDescription(file, info) + "?"))
        return ReportEnding(context, AdviceFor(Ending::Refused), "nothing was changed");

    for (Target& target : targets) target.bar = context.reporter.AddBar(target.port, "port");
    // Code 20 goes to one headset at a time, so that each DFU device that appears is known to
    // be that headset's; its upgrade starts at once, beside the others. The next headset is
    // handed over once the last one's reconfigure has ended: a device may take another name
    // when it re-enumerates in DFU mode, and that name must not pass for the next one's.
    const std::wstring wideFile = ToWide(file);
    std::vector<std::string> bound;
    std::vector<std::unique_ptr<FlashJob>> flashJobs;
    std::vector<std::thread> jobs;
    for (Target& target : targets) {
        while (!flashJobs.empty() && !flashJobs.back()->Settled() && !Interrupted())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (Interrupted()) break;
        target.handOver = HandOver(context, target, bound);
        if (target.handOver != Ending::Success) continue;
        flashJobs.push_back(std::make_unique<FlashJob>(target.port, ToWide(target.dfuDevice),
                                                       wideFile, context.reporter, target.bar,
                                                       context.log));
        FlashJob& job = *flashJobs.back();
        jobs.emplace_back([&context, &target, &job] { FlashAndReturn(context, target, job); });
    }
    for (std::thread& job : jobs) job.join();
    context.reporter.EndBars();

    int exitCode = kExitDone;
    for (const Target& target : targets) {
        if (target.handOver == Ending::Success && !target.flashed && Interrupted()) {
            // Never handed over: the headset is still on its serial side, untouched.
            continue;
        }
        const int code = ReportTarget(context, target, file);
        if (exitCode == kExitDone) exitCode = code;
    }
    if (Interrupted() && exitCode == kExitDone)
        exitCode = ReportEnding(context, AdviceFor(Ending::Interrupted), "");
    return exitCode;
}

int RunRecover(Context& context) {
    std::string file = context.options.file;
    if (file.empty()) {
        std::string ini;
        file = app::ReadStoredFirmwareFile(kWindowBaseName, false, &ini);
        if (file.empty()) {
            return ReportEnding(context, AdviceFor(Ending::Usage),
                                "no FILE given, and the window remembers no firmware file" +
                                    (ini.empty() ? std::string() : " in " + ini));
        }
        context.reporter.Say("The firmware file the window used last: " + file);
    }
    upgrade::FirmwareFileInfo info;
    std::string detail;
    const Ending checked = CheckFile(context, file, info, detail);
    if (checked != Ending::Success) return ReportEnding(context, AdviceFor(checked), detail);

    const std::vector<std::string> devices = ListDfuDevices();
    std::string device = context.options.device;
    if (!device.empty() && !Contains(devices, device)) {
        return ReportEnding(context, AdviceFor(Ending::NoDfuDevice),
                            "the DFU device " + device + " is not attached");
    }
    if (device.empty()) {
        if (devices.empty())
            return ReportEnding(context, AdviceFor(Ending::NoDfuDevice), "no DFU device found");
        if (devices.size() > 1) {
            std::string names;
            for (const std::string& name : devices) names += " " + name;
            return ReportEnding(context, AdviceFor(Ending::SeveralDevices),
                                "DFU devices:" + names + "; name one with --device");
        }
        device = devices[0];
    }

    // The ports that answer now are other headsets: the recovered one comes back elsewhere.
    std::set<std::string> present;
    for (const ListedPort& port : ListSerialPorts()) {
        HeadsetLink link(port.name, nullptr);
        std::string reason;
        if (port.mayAsk && link.Open(reason) == HeadsetLink::OpenResult::Opened)
            present.insert(port.name);
    }

    if (!Confirm(context,
                 "Write " + FileDescription(file, info) + " to the DFU device " + device + "?")) {
        return ReportEnding(context, AdviceFor(Ending::Refused), "nothing was written");
    }
    const int bar = context.reporter.AddBar(device, "device");
    FlashJob job(device, ToWide(device), ToWide(file), context.reporter, bar, context.log);
    const FlashOutcome flash = job.Run();
    if (!flash.Succeeded()) {
        context.reporter.EndBars();
        return ReportFlash(context, device, "device", device, flash, file);
    }
    const auto where = [&](JsonLine& line) { line.Text("device", device); };
    if (flash.WaitsForReplug()) {
        context.reporter.EndBars();
        context.reporter.Say(
            "The firmware is written and verified. Unplug and replug the "
            "headset: it then starts the new firmware.");
        return ReportEnding(context, AdviceFor(Ending::Success), "", [&](JsonLine& line) {
            where(line);
            line.Flag("replug", true);
        });
    }
    context.reporter.Step(bar, "restart");
    const auto deadline = Clock::now() + std::chrono::milliseconds(kReturnWaitMs);
    while (!Interrupted() && Clock::now() < deadline) {
        for (const ListedPort& port : ListSerialPorts()) {
            if (!port.mayAsk || present.count(port.name) != 0) continue;
            HeadsetIdentity identity;
            HeadsetLink link(port.name, context.log);
            std::string reason;
            if (link.Open(reason) != HeadsetLink::OpenResult::Opened ||
                link.ReadIdentity(identity) != HeadsetLink::Answer::Answered) {
                continue;
            }
            context.reporter.EndBars();
            context.reporter.Say(port.name + ": the headset is back with firmware " +
                                 VersionText(identity.version));
            return ReportEnding(context, AdviceFor(Ending::Success), "", [&](JsonLine& line) {
                line.Text("version", VersionText(identity.version));
                where(line);
                line.Text("port", port.name);
            });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    context.reporter.EndBars();
    if (Interrupted()) return ReportEnding(context, AdviceFor(Ending::Interrupted), "", where);
    context.reporter.Say(
        "The firmware is written. The headset did not come back on a serial "
        "port within 30 s: unplug and replug it, then check it with qvdfu list.");
    return ReportEnding(context, AdviceFor(Ending::Success), "", where);
}

}  // namespace service
