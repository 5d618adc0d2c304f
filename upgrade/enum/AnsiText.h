// Conversion of UTF-16 text from the USB drivers into the program's 8-bit text.
//
// On Windows this is WideCharToMultiByte with the ANSI code page, as for every 8-bit text of
// the program. On POSIX systems the 8-bit text is UTF-8 (the code page of a UTF-8 locale);
// unpaired surrogates become U+FFFD, as Windows' own UTF-8 conversion does.
#pragma once

#include <cstddef>
#include <cstdint>

namespace upgrade {

// Converts `unitCount` UTF-16 units, stored little-endian at `text` (not necessarily aligned),
// into at most `capacity` bytes at `output`, never splitting a character: text that does not
// fit is cut at the last whole character that does. No terminator is written. With a null
// `output`, only measures: `*byteCount` receives the bytes the whole text needs.
// Returns false when the platform cannot convert the text.
bool AnsiFromUtf16(const std::uint8_t* text, std::size_t unitCount, char* output,
                   std::size_t capacity, std::size_t* byteCount);

}  // namespace upgrade
