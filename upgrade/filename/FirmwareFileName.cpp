// The file-name check of the firmware file against the headset's model (see FirmwareFileName.h).
#include "upgrade/filename/FirmwareFileName.h"

namespace upgrade {

std::string FileNameOfPath(CodePage codePage, std::string_view path) {
    std::size_t nameStart = 0;
    for (std::size_t pos = 0, step; (step = CharBytes(codePage, path, pos)) != 0; pos += step) {
        if (step == 1 && (path[pos] == '\\' || path[pos] == '/')) nameStart = pos + 1;
    }
    return std::string(path.substr(nameStart));
}

bool FileNameMatchesModel(CodePage codePage, std::string_view path, std::string_view model) {
    const std::string fileName = UpperAsciiLetters(codePage, FileNameOfPath(codePage, path));
    const std::string prefix = UpperAsciiLetters(codePage, std::string(model) + "_");
    return fileName.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace upgrade
