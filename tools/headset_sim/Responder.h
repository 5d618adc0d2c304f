// The headset's answer to one request: the status line it sends after "OK", and what the
// request does to the stored state.
#pragma once

#include <string>

#include "HeadsetState.h"
#include "RequestLine.h"

namespace headsetsim {

struct Response {
    bool Acknowledged = false;  // "OK" then StatusLine; otherwise the device says "ERROR"
    std::string StatusLine;     // "+QVSTS1=..." without line ending
    bool StateChanged = false;
    bool EnterDfuMode = false;  // code 20: leave the serial side after answering
};

// Answers a request and applies it to the state. Codes outside the command table and
// malformed requests get "ERROR" and change nothing.
Response Respond(const Request& request, HeadsetState& state);

// The status line the headset sends for a code from its current state (used for the
// answers and by the "reply for another code" fault). Empty for codes it does not know.
std::string StatusLineFor(int32_t code, const HeadsetState& state, int32_t signature);

}  // namespace headsetsim
