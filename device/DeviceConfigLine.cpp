#include "device/DeviceConfigLine.h"

#include <cstring>

#include "app/Texts.h"

namespace device {
namespace {

// The text after the first marker, cut at ending (case-sensitive) with replacement appended.
std::string Part(const char* text, const char* marker, const char* ending,
                 const char* replacement) {
    const char* start = std::strstr(text, marker);
    if (start == nullptr) return std::string();
    std::string part(start + std::strlen(marker));
    std::size_t cut = part.find(ending);
    if (cut != std::string::npos) part = part.substr(0, cut) + replacement;
    return part;
}

}  // namespace

std::string DeviceConfigLine(const char* configText) {
    return app::LoadText(30231) + " : " + Part(configText, "FW:", ".XPV", ".xpv/.xdv") +
           "        " + app::LoadText(30232) + " : " + Part(configText, "PSR:", ".PSR", ".psr");
}

}  // namespace device
