#pragma once
// The firmware file's own name in its path, and whether it names the connected headset's model.
// Both read the path in the code page it is written in, so that the second byte of a double-byte
// character is never taken for a folder separator or a letter.
#include <string>
#include <string_view>

#include "upgrade/filename/CodePageText.h"

namespace upgrade {

// The part of the path after its last folder separator (a backslash, or a slash, which the
// portable build's paths use), the whole path when it has none.
std::string FileNameOfPath(CodePage codePage, std::string_view path);

// True when the path's file name begins with the model name followed by "_", both in upper case
// (ASCII letters), compared byte by byte over the prefix's length. An empty model leaves "_".
bool FileNameMatchesModel(CodePage codePage, std::string_view path, std::string_view model);

}  // namespace upgrade
