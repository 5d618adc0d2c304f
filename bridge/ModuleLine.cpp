#include "bridge/ModuleLine.h"

#include <cstdio>

namespace bridge {

void FormatModuleLine(ModuleLine& line, const char* message, const std::tm& localTime) {
    std::snprintf(line, sizeof line, "%s - %s\n", message, std::asctime(&localTime));
}

}  // namespace bridge
