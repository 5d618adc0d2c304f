// list, info, backup and restore: the headset's own protocol over its serial port.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/Commands.h"
#include "console/HeadsetPorts.h"
#include "console/Interrupt.h"
#include "console/Reporter.h"
#include "console/SettingsBackupFile.h"

namespace service {
namespace {

std::string IdentityLine(const std::string& port, const HeadsetIdentity& identity) {
    return port + "  " + identity.name + "  firmware " + VersionText(identity.version) +
           "  address " + identity.address;
}

JsonLine& IdentityMembers(JsonLine& line, const std::string& port,
                          const HeadsetIdentity& identity) {
    return line.Text("port", port)
        .Text("version", VersionText(identity.version))
        .Text("name", identity.name)
        .Text("address", identity.address);
}

// What a request that was not answered means.
Ending AnswerEnding(HeadsetLink::Answer answer) {
    return answer == HeadsetLink::Answer::Interrupted ? Ending::Interrupted : Ending::NoAnswer;
}

bool SameSettings(const HeadsetSettings& a, const HeadsetSettings& b) {
    for (int i = 0; i < 3; ++i) {
        if (a.speedDial[i] != b.speedDial[i]) return false;
    }
    return a.a2dpPercent == b.a2dpPercent && a.gpsPercent == b.gpsPercent &&
           (a.voiceSharing != 0) == (b.voiceSharing != 0);
}

// The file's text, all of it or nothing; false when it cannot be read or is larger than max.
bool ReadSmallFile(const std::string& path, std::size_t max, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<char> buffer(max + 2);
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.bad()) return false;
    text.assign(buffer.data(), static_cast<size_t>(in.gcount()));
    return true;
}

// Written whole or not at all: the text goes to a file beside the target, which then
// replaces it. A run cut off leaves the target as it was.
bool WriteFileWhole(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = path + ".qvdfu-part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot create " + temporary;
            return false;
        }
        out << text;
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            error = "cannot write " + temporary;
            return false;
        }
    }
    std::error_code failed;
    std::filesystem::rename(temporary, path, failed);
    if (failed) {
        std::remove(temporary.c_str());
        error = "cannot replace " + path + ": " + failed.message();
        return false;
    }
    return true;
}

}  // namespace

int RunList(Context& context) {
    Reporter& out = context.reporter;
    std::vector<std::string> busy;
    const std::vector<FoundHeadset> headsets = FindHeadsets(context, &busy);
    if (Interrupted()) return ReportEnding(context, AdviceFor(Ending::Interrupted), "");
    for (const FoundHeadset& headset : headsets) {
        out.Show(IdentityLine(headset.port, headset.identity));
        JsonLine line("headset");
        out.Event(IdentityMembers(line, headset.port, headset.identity));
    }
    for (const std::string& port : busy) {
        out.Show(port + "  busy: in use by another program");
        out.Event(JsonLine("busy_port").Text("port", port));
    }
    const std::vector<std::string> devices = ListDfuDevices();
    for (const std::string& device : devices) {
        out.Show("DFU   " + device + "  waiting in DFU mode (qvdfu recover writes firmware to it)");
        out.Event(JsonLine("dfu_device").Text("device", device));
    }
    if (headsets.empty() && devices.empty()) {
        return ReportEnding(context, AdviceFor(Ending::NoHeadset),
                            busy.empty() ? "nothing found" : "only busy ports found");
    }
    return ReportEnding(context, AdviceFor(Ending::Success), "");
}

namespace {

// The headset opened (OpenOneHeadset), its identity and settings read.
Ending ReadHeadset(Context& context, std::unique_ptr<HeadsetLink>& link, HeadsetIdentity& identity,
                   HeadsetSettings& settings, std::string& detail) {
    const Ending opened = OpenOneHeadset(context, link, identity, detail);
    if (opened != Ending::Success) return opened;
    const HeadsetLink::Answer answer = link->ReadSettings(settings);
    if (answer == HeadsetLink::Answer::Answered) return Ending::Success;
    detail = link->Port() + ": the settings could not be read";
    return AnswerEnding(answer);
}

}  // namespace

int RunInfo(Context& context) {
    std::unique_ptr<HeadsetLink> link;
    HeadsetIdentity identity;
    HeadsetSettings settings;
    std::string detail;
    const Ending read = ReadHeadset(context, link, identity, settings, detail);
    if (read != Ending::Success) return ReportEnding(context, AdviceFor(read), detail);
    Reporter& out = context.reporter;
    out.Show("Port:           " + link->Port());
    out.Show("Firmware:       " + VersionText(identity.version));
    out.Show("Name:           " + identity.name);
    out.Show("Address:        " + identity.address);
    for (int i = 0; i < 3; ++i)
        out.Show("Speed dial " + std::to_string(i + 1) + ":   " + settings.speedDial[i]);
    out.Show("A2DP share:     " + std::to_string(settings.a2dpPercent) + " %");
    out.Show("GPS share:      " + std::to_string(settings.gpsPercent) + " %");
    out.Show(std::string("Voice sharing:  ") + (settings.voiceSharing != 0 ? "yes" : "no"));
    JsonLine line("info");
    IdentityMembers(line, link->Port(), identity)
        .TextList("speed_dials",
                  {settings.speedDial[0], settings.speedDial[1], settings.speedDial[2]})
        .Number("a2dp", settings.a2dpPercent)
        .Number("gps", settings.gpsPercent)
        .Number("sharing", settings.voiceSharing != 0 ? 1 : 0);
    out.Event(line);
    return ReportEnding(context, AdviceFor(Ending::Success), "",
                        [&](JsonLine& result) { result.Text("port", link->Port()); });
}

int RunBackup(Context& context) {
    std::unique_ptr<HeadsetLink> link;
    HeadsetIdentity identity;
    HeadsetSettings settings;
    std::string detail;
    const Ending read = ReadHeadset(context, link, identity, settings, detail);
    if (read != Ending::Success)
        return ReportEnding(context, AdviceFor(read), detail + "; nothing was saved");
    link->Close();
    const std::string comment = "from " + identity.name + " " + identity.address + " on " +
                                link->Port() + ", firmware " + VersionText(identity.version);
    std::string error;
    if (!WriteFileWhole(context.options.file, FormatSettingsBackup(settings, comment), error))
        return ReportEnding(context, AdviceFor(Ending::CannotWrite), error);
    context.reporter.Say("Saved the settings of " + link->Port() + " to " + context.options.file);
    return ReportEnding(context, AdviceFor(Ending::Success), "", [&](JsonLine& result) {
        result.Text("port", link->Port()).Text("file", context.options.file);
    });
}

int RunRestore(Context& context) {
    const std::string& file = context.options.file;
    std::string text;
    if (!ReadSmallFile(file, kMaxBackupFileSize, text))
        return ReportEnding(context, AdviceFor(Ending::BadFile), "cannot read " + file);
    HeadsetSettings settings;
    std::string error;
    // Every value is checked before the first request: a bad file sends nothing.
    if (!ParseSettingsBackup(text, settings, error))
        return ReportEnding(context, AdviceFor(Ending::InvalidValue), file + ": " + error);

    std::unique_ptr<HeadsetLink> link;
    HeadsetIdentity identity;
    std::string detail;
    const Ending opened = OpenOneHeadset(context, link, identity, detail);
    if (opened != Ending::Success) return ReportEnding(context, AdviceFor(opened), detail);
    device::RequestValues values;
    values.SpeedDial1 = settings.speedDial[0];
    values.SpeedDial2 = settings.speedDial[1];
    values.SpeedDial3 = settings.speedDial[2];
    values.A2dpMixPercent = settings.a2dpPercent;
    values.GpsMixPercent = settings.gpsPercent;
    values.GpsVoiceSharing = settings.voiceSharing;
    for (int32_t code : {21, 22, 23, 24, 25}) {
        device::StatusReply reply;
        const HeadsetLink::Answer answer = link->Request(code, values, reply);
        if (answer != HeadsetLink::Answer::Answered) {
            return ReportEnding(context, AdviceFor(AnswerEnding(answer)),
                                link->Port() + ": code " + std::to_string(code) +
                                    " was not answered; the settings may be partly restored");
        }
    }
    // What the headset keeps now, read back.
    HeadsetSettings stored;
    const HeadsetLink::Answer answer = link->ReadSettings(stored);
    if (answer != HeadsetLink::Answer::Answered) {
        return ReportEnding(context, AdviceFor(AnswerEnding(answer)),
                            link->Port() + ": the settings could not be read back");
    }
    if (!SameSettings(stored, settings)) {
        return ReportEnding(context, AdviceFor(Ending::NotStored),
                            link->Port() + ": the headset keeps other values than were sent");
    }
    context.reporter.Say("Restored the settings of " + link->Port() + " from " + file);
    return ReportEnding(context, AdviceFor(Ending::Success), "", [&](JsonLine& result) {
        result.Text("port", link->Port()).Text("file", file);
    });
}

}  // namespace service
