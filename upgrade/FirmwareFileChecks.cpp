#include "upgrade/FirmwareFileChecks.h"

#include "upgrade/filename/FirmwareFileName.h"

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
    // The path is in the code page the window's texts are in: the ANSI code page on Windows,
    // UTF-8 in the portable build.
#ifdef _WIN32
    constexpr CodePage pathCodePage = kCodePageAnsi;
#else
    constexpr CodePage pathCodePage = kCodePageUtf8;
#endif
    return FileNameMatchesModel(pathCodePage, path, modelName);
}

}  // namespace upgrade
