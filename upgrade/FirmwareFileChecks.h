// The checks a firmware file passes before it is used, shared by the window and the console
// tool: the engine's validation (which also reads the DFU suffix), the maker's mark in the
// file's comment, and the file's name against the headset's model name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace upgrade {

// What the engine reads from a file it accepts: the comment of the image header and the
// vendor, product and device release of the DFU suffix.
struct FirmwareFileInfo {
    std::string comment;
    std::uint32_t vendor = 0;
    std::uint32_t product = 0;
    std::uint32_t release = 0;
};

// The engine's validation of a file (through the bridge or called directly): true when the
// file is a usable firmware file, with info filled.
using FirmwareFileValidator = std::function<bool(const std::string& path, FirmwareFileInfo& info)>;

enum class FirmwareVerdict {
    Accepted,
    Invalid,       // the engine refuses the file
    NoMakersMark,  // a valid file, but not for this maker's headsets
};

// The engine's validation, then the maker's mark. info holds what the engine read.
FirmwareVerdict CheckFirmwareFile(const std::string& path, const FirmwareFileValidator& validate,
                                  FirmwareFileInfo& info);

// "QUORVANE" or "QUOR VANE" in the comment, in any case of the ASCII letters.
bool HasMakersMark(const std::string& comment);

// The file's own name (after the last "\" or "/") begins with the model name followed by "_",
// compared without regard to the case of ASCII letters: KX-V5 matches kx-v5_v1.dfu. The path is
// read in the system's code page (the ANSI code page on Windows, UTF-8 elsewhere), so that the
// second byte of a double-byte character is never a separator or a letter.
bool FirmwareNameMatchesModel(const std::string& path, const std::string& modelName);

}  // namespace upgrade
