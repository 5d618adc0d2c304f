// Character steps and upper-casing in a code page (see CodePageText.h).
#include "upgrade/filename/CodePageText.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace upgrade {

bool IsLeadByteInTable(CodePage codePage, unsigned char byte) {
    switch (codePage) {
        case kCodePageGbk:
        case kCodePageBig5:
            return byte >= 0x81 && byte <= 0xFE;
        default:
            return false;
    }
}

bool IsLeadByte(CodePage codePage, unsigned char byte) {
#ifdef _WIN32
    return IsDBCSLeadByteEx(codePage, byte) != FALSE;
#else
    return IsLeadByteInTable(codePage, byte);
#endif
}

std::size_t CharBytes(CodePage codePage, std::string_view text, std::size_t pos) {
    if (pos >= text.size()) return 0;
    if (pos + 1 < text.size() && IsLeadByte(codePage, static_cast<unsigned char>(text[pos])))
        return 2;
    return 1;
}

std::string UpperAsciiLetters(CodePage, std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

}  // namespace upgrade
