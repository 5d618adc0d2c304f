#include "SimFaults.h"

#include <cstdlib>
#include <fstream>

namespace headsetsim {
namespace {

bool ParseNumber(const std::string& text, int32_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || number < 0 || number > 1000000) return false;
    value = static_cast<int32_t>(number);
    return true;
}

}  // namespace

bool SimFaults::Apply(const std::string& word) {
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
    // Only split, delay, gap and only-code take a value; "silent=3" is a mistake, not silent.
    if (equals != std::string::npos && name != "split" && name != "delay" && name != "gap" &&
        name != "only-code") {
        return false;
    }
    if (name == "silent") return Silent = true;
    if (name == "status-first") return StatusFirst = true;
    if (name == "other-code") return OtherCode = true;
    if (name == "foreign-signature") return ForeignSignature = true;
    if (name == "lf") return LfOnly = true;
    if (name == "crlf") return !(LfOnly = false);
    if (name == "merge") return Merge = true;
    if (name == "garbage") return Garbage = true;
    if (name == "echo") return Echo = true;
    if (name == "overlong") return Overlong = true;
    if (name == "hangup") return HangUp = true;
    if (name == "split") return ParseNumber(value, SplitBytes) && SplitBytes > 0;
    if (name == "delay") return ParseNumber(value, DelayMs);
    if (name == "gap") return ParseNumber(value, GapMs);
    if (name == "only-code") return ParseNumber(value, OnlyCode);
    return false;
}

bool SimFaults::FromFile(const std::string& path, SimFaults& faults, std::string& error) {
    std::ifstream in(path);
    if (!in) return false;
    SimFaults read;
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (!read.Apply(line)) error = path + ": unknown fault switch or bad value: " + line;
    }
    faults = read;
    return true;
}

}  // namespace headsetsim
