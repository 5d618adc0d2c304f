// POSIX back end of the 8-bit text conversion: UTF-16LE to UTF-8.
#include <cstring>

#include "upgrade/enum/AnsiText.h"
#include "upgrade/enum/UsbRecords.h"

namespace upgrade {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsHighSurrogate(std::uint16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(std::uint16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Encodes one code point; returns its byte count (1 to 4).
std::size_t EncodeUtf8(char32_t codePoint, char* bytes) {
    if (codePoint < 0x80) {
        bytes[0] = static_cast<char>(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | (codePoint >> 6));
        bytes[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | (codePoint >> 12));
        bytes[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<char>(0xF0 | (codePoint >> 18));
    bytes[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    bytes[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 4;
}

}  // namespace

bool AnsiFromUtf16(const std::uint8_t* text, std::size_t unitCount, char* output,
                   std::size_t capacity, std::size_t* byteCount) {
    std::size_t written = 0;
    std::size_t unit = 0;
    while (unit < unitCount) {
        const std::uint16_t first = ReadLe16(text + 2 * unit);
        char32_t codePoint = first;
        std::size_t consumed = 1;
        if (IsHighSurrogate(first) && unit + 1 < unitCount &&
            IsLowSurrogate(ReadLe16(text + 2 * (unit + 1)))) {
            const std::uint16_t second = ReadLe16(text + 2 * (unit + 1));
            codePoint = 0x10000 + ((static_cast<char32_t>(first) - 0xD800) << 10) +
                        (static_cast<char32_t>(second) - 0xDC00);
            consumed = 2;
        } else if (IsHighSurrogate(first) || IsLowSurrogate(first)) {
            codePoint = kReplacementCharacter;
        }
        char encoded[4];
        const std::size_t length = EncodeUtf8(codePoint, encoded);
        if (output != nullptr) {
            if (written + length > capacity) break;
            std::memcpy(output + written, encoded, length);
        }
        written += length;
        unit += consumed;
    }
    *byteCount = written;
    return true;
}

}  // namespace upgrade
