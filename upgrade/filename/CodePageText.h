#pragma once
// 8-bit text in a given code page, walked one character at a time. In a double-byte code page
// (Big5, GBK) the second byte of a character may equal a backslash or an ASCII letter; code that
// looks for such bytes must step over whole characters or it finds them inside other characters.
#include <cstddef>
#include <string>
#include <string_view>

namespace upgrade {

// A Windows code page number. 0 is CP_ACP, the system's ANSI code page (Windows only).
using CodePage = unsigned;
constexpr CodePage kCodePageAnsi = 0;
constexpr CodePage kCodePageGbk = 936;
constexpr CodePage kCodePageBig5 = 950;
constexpr CodePage kCodePageUtf8 = 65001;

// The lead bytes of the double-byte code pages the headset's users meet, 936 and 950: both have
// them at 0x81 to 0xFE. Every other code page has none here; in UTF-8 no byte of a multi-byte
// character is below 0x80, so it can be read byte by byte for ASCII characters.
bool IsLeadByteInTable(CodePage codePage, unsigned char byte);

// Whether the byte starts a double-byte character: IsDBCSLeadByteEx on Windows (every code page
// the system knows, CP_ACP included), the table above elsewhere.
bool IsLeadByte(CodePage codePage, unsigned char byte);

// Bytes of the character that starts at text[pos]: 2 for a lead byte with a byte after it, else
// 1 (a lead byte at the very end stands alone); 0 at or after the end.
std::size_t CharBytes(CodePage codePage, std::string_view text, std::size_t pos);

// The text with the ASCII letters a-z of its single-byte characters in upper case; both bytes of
// every double-byte character stay as they are.
std::string UpperAsciiLetters(CodePage codePage, std::string_view text);

}  // namespace upgrade
