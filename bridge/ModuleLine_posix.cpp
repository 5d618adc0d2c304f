// There is no debugger output channel on POSIX: the line goes to standard error, and only
// when DFUBRIDGE_MODULE_LINES is set to a non-empty value, so that every process using the
// library is not made noisy.
#include <cstdio>
#include <cstdlib>

#include "bridge/ModuleLine.h"

namespace bridge {

void WriteModuleLine(const char* message) {
    const char* wanted = std::getenv("DFUBRIDGE_MODULE_LINES");
    if (wanted == nullptr || *wanted == '\0') {
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    ModuleLine line;
    FormatModuleLine(line, message, local);
    std::fputs(line, stderr);
}

}  // namespace bridge
