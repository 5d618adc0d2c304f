#include <windows.h>

#include "bridge/ModuleLine.h"

namespace bridge {

void WriteModuleLine(const char* message) {
    const std::time_t now = std::time(nullptr);
    ModuleLine line;
    FormatModuleLine(line, message, *std::localtime(&now));
    OutputDebugStringA(line);
}

}  // namespace bridge
