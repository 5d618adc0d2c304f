// What each ending means in plain words and what the user should do, and its exit code.
// Engine results carry the engine's names (upgrade/names); qvdfu's own endings, which happen
// before or around the engine's work, have names of their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/ExitCode.h"

namespace service {

// qvdfu's own endings.
enum class Ending {
    Success,
    Usage,           // usage
    Refused,         // refused: a question not answered yes, or none could be asked
    SeveralDevices,  // several_devices: which one was not said
    NoHeadset,       // no_headset
    NoDfuDevice,     // no_dfu_device
    NoAnswer,        // no_answer: the headset stopped answering
    BadFile,         // bad_file
    NoMakersMark,    // not_quorvane
    ForeignFile,     // foreign_file: the suffix names another device
    WrongModel,      // wrong_model: the file name is for another model
    InvalidValue,    // invalid_value: a backup file value the headset cannot take
    NotStored,       // not_stored: the headset keeps other values than were sent
    NotBack,         // not_back: the headset did not come back after the upgrade
    PortBusy,        // port_busy
    PortFailed,      // port_failed
    Interrupted,     // interrupted
    CannotWrite,     // cannot_write: an output file could not be written
};

struct Advice {
    const char* name;     // shown and sent in JSON as "result"
    const char* meaning;  // plain words
    const char* todo;     // what to do
    ExitCode exitCode;
};

Advice AdviceFor(Ending ending);

// An engine result code (DFUEngine::ResultCode).
Advice AdviceForResult(int32_t result);

// The engine's open problems (DFUEngine::OpenProblem).
Advice AdviceForOpenProblem(int32_t problem);

// Every ending qvdfu can show: its own, each engine result the engine reports, each open
// problem (the user guide's troubleshooting table lists them all).
std::vector<Advice> EveryAdvice();

}  // namespace service
