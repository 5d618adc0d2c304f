#include "device/ports/ComPortEnumeration.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "device/ports/PortBackend.h"
#include "device/ports/PortTables.h"

namespace device {
namespace {

void CopyEntry(char* entry, int32_t width, const std::string& text) {
    const size_t length = std::min(text.size(), static_cast<size_t>(width - 1));
    std::memcpy(entry, text.data(), length);
    entry[length] = '\0';
}

}  // namespace

bool IsComPortName(const std::string& name) {
    if (name.size() <= 3) return false;
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return false;
    }
    return std::isdigit(static_cast<unsigned char>(name[3])) != 0;
}

bool EnumerateComPorts(int32_t& count, char* names, int32_t entryWidth, char* descriptions) {
    count = 0;
    if (names == nullptr || descriptions == nullptr || entryWidth <= 0) return false;

    std::vector<FoundPort> found;
    if (!CurrentPortBackend().ListPorts(found)) return false;

    int32_t i = 0;
    for (const FoundPort& port : found) {
        if (i == kMaxPorts) break;
        if (!IsComPortName(port.Name)) continue;
        CopyEntry(names + i * entryWidth, entryWidth, port.Name);
        CopyEntry(descriptions + i * entryWidth, entryWidth, port.Description);
        ++i;
    }
    count = i;
    return i > 0;
}

}  // namespace device
