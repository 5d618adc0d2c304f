// The file-name check as the window made it before it read the path in its code page: the old
// rule of TMajorForm::FirmwareMatchesDevice, byte by byte, behind the new functions.
#include "upgrade/filename/FirmwareFileName.h"

namespace upgrade {

std::string FileNameOfPath(CodePage, std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool FileNameMatchesModel(CodePage codePage, std::string_view path, std::string_view model) {
    const std::string fileName = UpperAsciiLetters(codePage, FileNameOfPath(codePage, path));
    const std::string prefix = UpperAsciiLetters(codePage, std::string(model) + "_");
    return fileName.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace upgrade
