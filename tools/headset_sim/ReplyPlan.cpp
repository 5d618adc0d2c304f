#include "ReplyPlan.h"

#include <algorithm>

#include "device/protocol/CommandCodes.h"

namespace headsetsim {
namespace {

// The status line of another code, with that code's payload.
std::string OtherCodeLine(const Request& request, const HeadsetState& state) {
    const int32_t other = request.Code + 1;
    const std::string line = StatusLineFor(other, state, device::kIdentitySignature);
    return line.empty() ? "+QVSTS1=" + std::to_string(other) : line;
}

}  // namespace

std::vector<LineWrite> PlanReply(const std::string& requestLine, const Request& request,
                                 const Response& response, const HeadsetState& state,
                                 const SimFaults& requested) {
    const bool applies = requested.OnlyCode < 0 || requested.OnlyCode == request.Code;
    SimFaults faults = applies ? requested : SimFaults();
    faults.GapMs = requested.GapMs;  // the pacing of the line, not a fault: it holds for every code
    if (faults.Silent) return {};

    const std::string ending = faults.LfOnly ? "\n" : "\r\n";
    std::vector<std::string> lines;  // each a unit of writing, ending included
    if (faults.Echo) lines.push_back(requestLine + ending);
    if (faults.Garbage) {
        lines.push_back(std::string("\x01#~garbage\x7f") + "\xff" + " +QV OK?" + ending);
        lines.push_back(ending);
    }
    if (faults.Overlong) lines.push_back(std::string(kOverlongLength, 'X'));

    size_t hangUpAfter = SIZE_MAX;  // index of the line after which the line drops
    if (!response.Acknowledged) {
        lines.push_back("ERROR" + ending);
    } else {
        std::string status = response.StatusLine;
        if (faults.OtherCode) status = OtherCodeLine(request, state);
        if (faults.ForeignSignature && request.Code == device::UART_CMD_QUERY_ID) {
            status = StatusLineFor(request.Code, state, kForeignSignature);
        }
        const std::string ok = "OK" + ending;
        status += ending;
        if (faults.HangUp) {
            lines.push_back(ok);
            hangUpAfter = lines.size() - 1;
        } else if (faults.StatusFirst) {
            lines.push_back(status);
            lines.push_back(ok);
        } else {
            lines.push_back(ok);
            lines.push_back(status);
        }
    }

    std::vector<LineWrite> writes;
    if (faults.Merge || faults.SplitBytes > 0) {
        std::string all;
        for (const std::string& line : lines) all += line;
        const size_t chunk = faults.SplitBytes > 0 ? static_cast<size_t>(faults.SplitBytes)
                                                   : std::max<size_t>(all.size(), 1);
        for (size_t pos = 0; pos < all.size(); pos += chunk) {
            writes.push_back({all.substr(pos, chunk), writes.empty() ? 0 : faults.GapMs, false});
        }
        if (hangUpAfter != SIZE_MAX && !writes.empty()) writes.back().HangUpAfter = true;
    } else {
        for (size_t i = 0; i < lines.size(); ++i) {
            writes.push_back({lines[i], i == 0 ? 0 : faults.GapMs, i == hangUpAfter});
        }
    }
    if (!writes.empty()) writes.front().PauseBeforeMs = faults.DelayMs;
    return writes;
}

}  // namespace headsetsim
