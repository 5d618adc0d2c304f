#include "DfuFaultWords.h"

#include <cstdlib>

namespace headsetsim {
namespace {

// A block number or count: decimal digits only, at most a million.
bool ParseCount(const std::string& text, long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 7) {
        return false;
    }
    value = std::strtol(text.c_str(), nullptr, 10);
    return value <= 1000000;
}

// A DFU status code other than OK: 1 to 15, decimal or 0x hex.
bool ParseStatusCode(const std::string& text, int32_t& code) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.size() > 2 ||
        digits.find_first_not_of(allowed) != std::string::npos) {
        return false;
    }
    code = static_cast<int32_t>(std::strtol(digits.c_str(), nullptr, hex ? 16 : 10));
    return code >= 1 && code <= 15;
}

}  // namespace

bool SimDfuFaults::Apply(const std::string& word) {
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const bool hasValue = equals != std::string::npos;
    const std::string value = hasValue ? word.substr(equals + 1) : "";
    if (name == "no-return") return !hasValue && (NoReturn = true);
    if (name == "reset-refused") return !hasValue && (ResetRefused = true);
    if (!hasValue) return false;
    if (name == "vanish-after")
        return ParseCount(value, VanishAfterBlocks) && VanishAfterBlocks > 0;
    if (name == "stall-at") return ParseCount(value, StallAtBlock);
    if (name == "status-error") {
        const size_t at = value.find('@');
        return at != std::string::npos && ParseStatusCode(value.substr(0, at), StatusErrorCode) &&
               ParseCount(value.substr(at + 1), StatusErrorAtBlock);
    }
    return false;
}

}  // namespace headsetsim
