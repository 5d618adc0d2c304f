#include "bridge/StringConvert.h"

#include <cwchar>

namespace bridge {
namespace {

bool IsHighSurrogate(wchar_t c) {
    // Only UTF-16 wide strings (Windows) carry surrogate pairs; never split one.
    return sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF;
}

// Bytes taken by the text itself plus its terminator and the extra zero byte.
size_t StoredSize(const wchar_t* text, size_t count) {
    return NarrowLength(text, count) + 2;
}

}  // namespace

bool StoreNarrow(const wchar_t* text, char* out, size_t capacity, Fit fit) {
    if (out == nullptr || capacity < 2) {
        return false;
    }
    if (text == nullptr) {
        text = L"";
    }
    const size_t length = std::wcslen(text);
    size_t count = length;
    if (StoredSize(text, count) > capacity) {
        if (fit == Fit::kWholeOnly) {
            return false;
        }
        // The 8-bit size grows with every character, so search for the longest prefix.
        size_t fits = 0;
        size_t tooLong = length;
        while (tooLong - fits > 1) {
            const size_t middle = fits + (tooLong - fits) / 2;
            if (StoredSize(text, middle) <= capacity) {
                fits = middle;
            } else {
                tooLong = middle;
            }
        }
        count = fits;
        if (count > 0 && IsHighSurrogate(text[count - 1])) {
            --count;
        }
    }
    const size_t bytes = NarrowLength(text, count);
    NarrowText(text, count, out, bytes);
    out[bytes] = '\0';
    out[bytes + 1] = '\0';
    return count == length;
}

}  // namespace bridge
