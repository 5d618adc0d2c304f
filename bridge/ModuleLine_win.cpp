#include <windows.h>

#include "bridge/ModuleLine.h"

namespace bridge {

void WriteModuleLine(const char* message) {
    const std::time_t now = std::time(nullptr);
    // localtime gives no record for a time it cannot convert: the line then carries the
    // zero date rather than taking the library down while it loads.
    std::tm local{};
    if (const std::tm* converted = std::localtime(&now)) local = *converted;
    ModuleLine line;
    FormatModuleLine(line, message, local);
    OutputDebugStringA(line);
}

}  // namespace bridge
