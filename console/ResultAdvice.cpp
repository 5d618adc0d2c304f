#include "console/ResultAdvice.h"

#include "DFUEngine.h"
#include "upgrade/names/DfuNames.h"

namespace service {
namespace {

constexpr const char* kRecover =
    "The headset stays in DFU mode: run qvdfu recover with the same firmware file.";
constexpr const char* kSendLog = "Run again with --log FILE and send the log to support.";
constexpr const char* kOtherFile = "Get the right firmware file for the KX-V5 and try again.";

struct EngineAdvice {
    int32_t result;
    const char* meaning;
    const char* todo;
};

// Every result this engine reports. The other names of the engine's table are never reported
// by it (they belong to transports it does not have).
const EngineAdvice kEngineAdvice[] = {
    {DFUEngine::success, "The step completed.", ""},
    {DFUEngine::aborted, "The upgrade was stopped before it ended.", kRecover},
    {DFUEngine::fail_unknown, "The engine could not start the step.", kSendLog},
    {DFUEngine::fail_os, "The system refused a USB operation (often a reset it may not do).",
     "Unplug and replug the headset; if it stays in DFU mode, run qvdfu recover."},
    {DFUEngine::fail_exception, "The engine met an internal error.", kSendLog},
    {DFUEngine::fail_file_create, "The file could not be created.",
     "Choose a folder you may write to."},
    {DFUEngine::fail_file_open, "The firmware file cannot be opened.",
     "Check the path and that the file is readable."},
    {DFUEngine::fail_file_short, "The firmware file is too short to be one.", kOtherFile},
    {DFUEngine::fail_file_suffix, "The firmware file's DFU suffix or header is damaged.",
     kOtherFile},
    {DFUEngine::fail_file_read, "The firmware file could not be read to its end.",
     "Copy the file again (the copy may be incomplete) and try again."},
    {DFUEngine::fail_file_crc, "The firmware file is damaged (its CRC does not match).",
     "Copy or download the file again."},
    {DFUEngine::fail_file_vendor, "The firmware file is for another maker's device.", kOtherFile},
    {DFUEngine::fail_file_product, "The firmware file is for another device.", kOtherFile},
    {DFUEngine::fail_reply_short, "The headset answered a DFU request too briefly.", kRecover},
    {DFUEngine::fail_dfu_target, "The headset cannot take firmware for this target.", kOtherFile},
    {DFUEngine::fail_dfu_file, "The headset refused the firmware file.", kOtherFile},
    {DFUEngine::fail_dfu_write, "The headset could not write its memory.", kRecover},
    {DFUEngine::fail_dfu_erase, "The headset could not erase its memory.", kRecover},
    {DFUEngine::fail_dfu_check_erased, "The headset's memory did not erase.", kRecover},
    {DFUEngine::fail_dfu_prog, "The headset could not program its memory.", kRecover},
    {DFUEngine::fail_dfu_verify, "The firmware read back differs from the file.", kRecover},
    {DFUEngine::fail_dfu_address, "The headset received a block out of place.", kRecover},
    {DFUEngine::fail_dfu_not_done, "The headset did not receive the whole firmware.", kRecover},
    {DFUEngine::fail_dfu_firmware,
     "The headset does not accept the new firmware and stays in DFU mode.",
     "Run qvdfu recover with a firmware file for the KX-V5."},
    {DFUEngine::fail_dfu_vendor_num, "The headset reported a maker's error.", kRecover},
    {DFUEngine::fail_dfu_vendor_str, "The headset reported a maker's error.", kRecover},
    {DFUEngine::fail_dfu_usbr, "The headset saw an unexpected USB reset.", kRecover},
    {DFUEngine::fail_dfu_por, "The headset restarted during the upgrade.", kRecover},
    {DFUEngine::fail_dfu_unknown, "The headset reported an unknown error.", kRecover},
    {DFUEngine::fail_dfu_stalledpkt, "The headset refused a DFU request.", kRecover},
    {DFUEngine::fail_usb_open, "The DFU device could not be opened.",
     "Close other programs that use the headset, unplug and replug it, and try again."},
    {DFUEngine::fail_usb_desc_bad, "The DFU device describes itself wrongly.", kSendLog},
    {DFUEngine::fail_usb_none, "The headset disappeared from USB.",
     "Check the cable, plug the headset in again and run qvdfu recover."},
    {DFUEngine::fail_usb_buffer, "The device sent more than any firmware image holds.", kSendLog},
    {DFUEngine::fail_no_upload, "The device cannot send its firmware back.", kSendLog},
    {DFUEngine::fail_no_download, "The device cannot take firmware.", kSendLog},
    {DFUEngine::fail_mode_no_dfu, "The headset did not enter DFU mode in time.",
     "Unplug and replug the headset and try again."},
    {DFUEngine::fail_mode_not_idle, "The headset could not be made ready for the firmware.",
     "Unplug and replug the headset, then run qvdfu recover."},
    {DFUEngine::fail_mode_not_dnload_idle, "The headset stayed busy with a block too long.",
     kRecover},
    {DFUEngine::fail_mode_not_manifest, "The headset did not finish installing the firmware.",
     kRecover},
};

struct OwnAdvice {
    Ending ending;
    Advice advice;
};

const OwnAdvice kOwnAdvice[] = {
    {Ending::Success, {"success", "Done.", "", kExitDone}},
    {Ending::Usage,
     {"usage", "The command line is not complete or not valid.", "See qvdfu --help.", kExitUsage}},
    {Ending::Refused,
     {"refused", "Nothing was written: the question was not answered yes.",
      "Answer y, or pass --yes when no one can answer.", kExitUsage}},
    {Ending::SeveralDevices,
     {"several_devices", "More than one device could be meant.",
      "Name one (--port or --device), as qvdfu list shows them.", kExitUsage}},
    {Ending::NoHeadset,
     {"no_headset", "No headset answers.",
      "Connect the headset by USB, switch it on, and check qvdfu list.", kExitNoDevice}},
    {Ending::NoDfuDevice,
     {"no_dfu_device", "No device waits in DFU mode.",
      "Connect the headset by USB and check qvdfu list.", kExitNoDevice}},
    {Ending::NoAnswer,
     {"no_answer", "The headset stopped answering.", "Unplug and replug the headset and try again.",
      kExitDeviceFailed}},
    {Ending::BadFile,
     {"bad_file", "This is not a usable firmware file.", kOtherFile, kExitBadFile}},
    {Ending::NoMakersMark,
     {"not_quorvane", "The firmware file is not for Quor Vane Bluetooth devices.", kOtherFile,
      kExitBadFile}},
    {Ending::ForeignFile,
     {"foreign_file", "The firmware file is for another USB device.", kOtherFile, kExitBadFile}},
    {Ending::WrongModel,
     {"wrong_model", "The firmware file's name does not match the headset's model.",
      "Choose the file whose name begins with the model name and _.", kExitBadFile}},
    {Ending::InvalidValue,
     {"invalid_value", "The file holds a value the headset cannot take.",
      "Correct the line named above; nothing was sent.", kExitBadFile}},
    {Ending::NotStored,
     {"not_stored", "The headset keeps other values than were sent.",
      "Run qvdfu restore again; if that does not help, send --log to support.", kExitDeviceFailed}},
    {Ending::NotBack,
     {"not_back", "The firmware was written, but the headset did not come back in time.",
      "Unplug and replug the headset and check it with qvdfu info.", kExitDeviceFailed}},
    {Ending::PortBusy,
     {"port_busy", "The port is in use by another program.",
      "Close the other program (the KX-V5 window, a terminal) and try again.", kExitPortBusy}},
    {Ending::PortFailed,
     {"port_failed", "The port cannot be opened.", "Check the port's name and that you may use it.",
      kExitPortBusy}},
    {Ending::Interrupted,
     {"interrupted", "Stopped by Ctrl+C.",
      "If an upgrade was running, run qvdfu recover to finish it.", kExitInterrupted}},
    {Ending::CannotWrite,
     {"cannot_write", "The output file could not be written.", "Choose a folder you may write to.",
      kExitUsage}},
};

}  // namespace

std::vector<Advice> EveryAdvice() {
    std::vector<Advice> all;
    for (const OwnAdvice& own : kOwnAdvice) all.push_back(own.advice);
    for (const EngineAdvice& engine : kEngineAdvice) all.push_back(AdviceForResult(engine.result));
    for (int32_t problem = DFUEngine::open_ok; problem <= DFUEngine::open_failed; ++problem)
        all.push_back(AdviceForOpenProblem(problem));
    return all;
}

Advice AdviceFor(Ending ending) {
    for (const OwnAdvice& own : kOwnAdvice) {
        if (own.ending == ending) return own.advice;
    }
    return kOwnAdvice[0].advice;
}

Advice AdviceForResult(int32_t result) {
    Advice advice{upgrade::ResultName(result), "The engine reported an unexpected result.",
                  kSendLog, kExitDeviceFailed};
    for (const EngineAdvice& known : kEngineAdvice) {
        if (known.result == result) {
            advice.meaning = known.meaning;
            advice.todo = known.todo;
        }
    }
    if (result == DFUEngine::success) advice.exitCode = kExitDone;
    if (result == DFUEngine::aborted) advice.exitCode = kExitInterrupted;
    if (result >= DFUEngine::fail_file_open && result <= DFUEngine::fail_file_product)
        advice.exitCode = kExitBadFile;
    return advice;
}

Advice AdviceForOpenProblem(int32_t problem) {
    switch (problem) {
        case DFUEngine::open_ok:
            return {"open_ok", "The device is open.", "", kExitDone};
        case DFUEngine::open_not_found:
            return {"open_not_found", "The DFU device has gone.",
                    "Plug the headset in again and check qvdfu list.", kExitNoDevice};
        case DFUEngine::open_busy:
            return {"open_busy", "Another program holds the DFU device.",
                    "Close the other program and try again.", kExitPortBusy};
        case DFUEngine::open_no_driver:
            return {"open_no_driver", "No WinUSB driver is bound to the headset in DFU mode.",
                    "Bind WinUSB to the device named above (see the user guide) and try again.",
                    kExitDeviceFailed};
        case DFUEngine::open_access_denied:
            return {"open_access_denied", "You may not open the DFU device.",
                    "Give your account access to the device (see the user guide).", kExitPortBusy};
        default:
            return {"open_failed", "The DFU device could not be opened.",
                    "Unplug and replug the headset and try again.", kExitDeviceFailed};
    }
}

}  // namespace service
