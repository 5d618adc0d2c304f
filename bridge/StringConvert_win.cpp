#include <windows.h>

#include <climits>

#include "bridge/StringConvert.h"

namespace bridge {

bool WidenText(const char* text, wchar_t* out, size_t capacity) {
    if (text == nullptr || capacity == 0 || capacity > INT_MAX) {
        return false;
    }
    // The whole string with its terminator; 0 means it did not fit (or was not convertible).
    return MultiByteToWideChar(CP_ACP, 0, text, -1, out, static_cast<int>(capacity)) > 0;
}

size_t NarrowLength(const wchar_t* text, size_t count) {
    if (count == 0 || count > INT_MAX) {
        return 0;
    }
    const int bytes = WideCharToMultiByte(CP_OEMCP, 0, text, static_cast<int>(count), nullptr, 0,
                                          nullptr, nullptr);
    return bytes > 0 ? static_cast<size_t>(bytes) : 0;
}

void NarrowText(const wchar_t* text, size_t count, char* out, size_t bytes) {
    if (count == 0 || bytes == 0 || count > INT_MAX || bytes > INT_MAX) {
        return;
    }
    WideCharToMultiByte(CP_OEMCP, 0, text, static_cast<int>(count), out, static_cast<int>(bytes),
                        nullptr, nullptr);
}

}  // namespace bridge
