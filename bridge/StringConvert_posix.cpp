// 8-bit text is UTF-8 here, independent of the process locale. Malformed input bytes become
// U+FFFD; wide characters with no UTF-8 form become '?', as the Windows conversions do with
// their default characters.
#include <cstdint>

#include "bridge/StringConvert.h"

namespace bridge {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsValidScalar(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// Decodes one character at p and advances p past it.
char32_t DecodeUtf8(const unsigned char*& p) {
    const unsigned char lead = *p++;
    if (lead < 0x80) {
        return lead;
    }
    int more;
    char32_t c;
    char32_t least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3, c = lead & 0x07, least = 0x10000;
    } else {
        return kReplacement;
    }
    const unsigned char* q = p;
    for (int i = 0; i < more; ++i, ++q) {
        if ((*q & 0xC0) != 0x80) {  // also stops at the terminator
            return kReplacement;
        }
        c = (c << 6) | (*q & 0x3F);
    }
    if (c < least || !IsValidScalar(c)) {
        return kReplacement;
    }
    p = q;
    return c;
}

size_t Utf8Length(char32_t c) {
    if (!IsValidScalar(c)) {
        return 1;  // '?'
    }
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

}  // namespace

bool WidenText(const char* text, wchar_t* out, size_t capacity) {
    if (text == nullptr) {
        return false;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    for (size_t n = 0; n < capacity; ++n) {
        if (*p == 0) {
            out[n] = L'\0';
            return true;
        }
        out[n] = static_cast<wchar_t>(DecodeUtf8(p));
    }
    return false;
}

size_t NarrowLength(const wchar_t* text, size_t count) {
    size_t bytes = 0;
    for (size_t i = 0; i < count; ++i) {
        bytes += Utf8Length(static_cast<char32_t>(text[i]));
    }
    return bytes;
}

void NarrowText(const wchar_t* text, size_t count, char* out, size_t bytes) {
    size_t n = 0;
    auto put = [&](uint32_t byte) {
        if (n < bytes) {
            out[n++] = static_cast<char>(byte);
        }
    };
    for (size_t i = 0; i < count; ++i) {
        const auto c = static_cast<char32_t>(text[i]);
        switch (IsValidScalar(c) ? Utf8Length(c) : 0) {
            case 0:
                put('?');
                break;
            case 1:
                put(c);
                break;
            case 2:
                put(0xC0 | (c >> 6));
                put(0x80 | (c & 0x3F));
                break;
            case 3:
                put(0xE0 | (c >> 12));
                put(0x80 | ((c >> 6) & 0x3F));
                put(0x80 | (c & 0x3F));
                break;
            default:
                put(0xF0 | (c >> 18));
                put(0x80 | ((c >> 12) & 0x3F));
                put(0x80 | ((c >> 6) & 0x3F));
                put(0x80 | (c & 0x3F));
                break;
        }
    }
}

}  // namespace bridge
