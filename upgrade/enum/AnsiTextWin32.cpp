// Win32 back end of the 8-bit text conversion: WideCharToMultiByte with the ANSI code page.
#include <windows.h>

#include <vector>

#include "upgrade/enum/AnsiText.h"
#include "upgrade/enum/UsbRecords.h"

namespace upgrade {
namespace {

int NeededBytes(const std::vector<wchar_t>& wide, std::size_t unitCount) {
    return WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(unitCount), nullptr, 0,
                               nullptr, nullptr);
}

}  // namespace

bool AnsiFromUtf16(const std::uint8_t* text, std::size_t unitCount, char* output,
                   std::size_t capacity, std::size_t* byteCount) {
    *byteCount = 0;
    if (unitCount == 0) return true;  // WideCharToMultiByte refuses an empty input
    std::vector<wchar_t> wide(unitCount);
    for (std::size_t i = 0; i < unitCount; ++i) wide[i] = ReadLe16(text + 2 * i);

    int needed = NeededBytes(wide, unitCount);
    if (needed <= 0) return false;
    if (output == nullptr) {
        *byteCount = static_cast<std::size_t>(needed);
        return true;
    }
    // WideCharToMultiByte fails outright on a short buffer, so shorten the text to whole
    // characters until it fits.
    std::size_t units = unitCount;
    while (units > 0 && static_cast<std::size_t>(needed) > capacity) {
        --units;
        if (units > 0 && IS_LOW_SURROGATE(wide[units]) && IS_HIGH_SURROGATE(wide[units - 1]))
            --units;
        needed = units > 0 ? NeededBytes(wide, units) : 0;
    }
    if (units == 0) return true;
    const int converted = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(units),
                                              output, static_cast<int>(capacity), nullptr, nullptr);
    if (converted <= 0) return false;
    *byteCount = static_cast<std::size_t>(converted);
    return true;
}

}  // namespace upgrade
