// Text crossing the bridge: the caller's 8-bit strings become the engine's wide strings and
// back. Windows uses the ANSI code page inwards and the OEM code page outwards; POSIX uses
// UTF-8 both ways.
#pragma once

#include <cstddef>

namespace bridge {

// Every string handed to the engine is converted into a buffer of this many wide characters,
// terminator included, so longer texts are refused.
constexpr size_t kWideBufferChars = 512;
using WideBuffer = wchar_t[kWideBufferChars];

// --- Platform half (StringConvert_win.cpp / StringConvert_posix.cpp) ---

// Converts text and its terminator into out (capacity wide characters). False when text is
// null or does not fit.
bool WidenText(const char* text, wchar_t* out, size_t capacity);

// Number of 8-bit bytes the first count wide characters of text take, without a terminator.
size_t NarrowLength(const wchar_t* text, size_t count);

// Converts the first count wide characters of text into out, which has exactly
// NarrowLength(text, count) bytes. Writes no terminator.
void NarrowText(const wchar_t* text, size_t count, char* out, size_t bytes);

// --- Common half (StringConvert.cpp) ---

inline bool Widen(const char* text, WideBuffer& out) {
    return WidenText(text, out, kWideBufferChars);
}

enum class Fit {
    kWholeOnly,       // a text that does not fit is not stored at all
    kCutAtCharacter,  // a text that does not fit is cut after its last whole character
};

// Stores text, its terminator and one more zero byte into out, which has capacity bytes
// (at least 2). Returns true when the whole text was stored. When it does not fit, kWholeOnly
// leaves out untouched and kCutAtCharacter stores the longest fitting run of whole characters.
bool StoreNarrow(const wchar_t* text, char* out, size_t capacity, Fit fit);

}  // namespace bridge
