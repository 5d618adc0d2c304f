// Turns an answer into the writes the headset makes on the line, faults included.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "HeadsetState.h"
#include "RequestLine.h"
#include "Responder.h"
#include "SimFaults.h"

namespace headsetsim {

struct LineWrite {
    std::string Bytes;
    int32_t PauseBeforeMs = 0;
    bool HangUpAfter = false;  // the line is hung up after these bytes
};

// The writes answering one request line. The faults apply only when OnlyCode allows it.
std::vector<LineWrite> PlanReply(const std::string& requestLine, const Request& request,
                                 const Response& response, const HeadsetState& state,
                                 const SimFaults& faults);

}  // namespace headsetsim
