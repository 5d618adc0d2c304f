#include "upgrade/FirmwareFileChecks.h"

namespace upgrade {
namespace {

// Upper case of the ASCII letters; other bytes (and double-byte characters) stay as they are.
std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

FirmwareVerdict CheckFirmwareFile(const std::string& path, const FirmwareFileValidator& validate,
                                  FirmwareFileInfo& info) {
    info = FirmwareFileInfo();
    if (!validate || !validate(path, info)) return FirmwareVerdict::Invalid;
    return HasMakersMark(info.comment) ? FirmwareVerdict::Accepted : FirmwareVerdict::NoMakersMark;
}

bool HasMakersMark(const std::string& comment) {
    const std::string mark = UpperAscii(comment);
    return mark.find("QUORVANE") != std::string::npos ||
           mark.find("QUOR VANE") != std::string::npos;
}

bool FirmwareNameMatchesModel(const std::string& path, const std::string& modelName) {
    // The file's own name: after the last folder separator of either kind.
    const std::size_t slash = path.find_last_of("\\/");
    const std::string fileName =
        UpperAscii(slash == std::string::npos ? path : path.substr(slash + 1));
    const std::string prefix = UpperAscii(modelName + "_");
    return fileName.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace upgrade
