// Fault switches of the simulated headset. Each is one word, given on the command line as
// --fault WORD (or --fault WORD=VALUE) and in a control file as one WORD or WORD=VALUE per
// line, which the simulator reads again before each answer.
#pragma once

#include <cstdint>
#include <string>

namespace headsetsim {

struct SimFaults {
    bool Silent = false;            // silent: no answer at all
    bool StatusFirst = false;       // status-first: the status line comes before "OK"
    bool OtherCode = false;         // other-code: the status line answers the next code
    bool ForeignSignature = false;  // foreign-signature: QUERY_ID answers 12345678
    bool LfOnly = false;            // lf: lines end with LF alone instead of CR LF
    int32_t SplitBytes = 0;         // split=N: the answer is written N bytes at a time
    bool Merge = false;             // merge: the whole answer in one write
    bool Garbage = false;           // garbage: a line of noise and an empty line first
    bool Echo = false;              // echo: the request is echoed as a line first
    bool Overlong = false;          // overlong: 2,000 bytes without a line feed first
    int32_t DelayMs = 0;            // delay=MS: wait before answering
    int32_t GapMs = 20;             // gap=MS: pause between the writes of one answer
    bool HangUp = false;            // hangup: hang up the line after "OK"
    int32_t OnlyCode = -1;          // only-code=N: the faults apply to requests for N only

    // Applies one switch; false for an unknown word or a bad value.
    bool Apply(const std::string& word);
    // The switches of a control file; false when the file cannot be read.
    static bool FromFile(const std::string& path, SimFaults& faults, std::string& error);
};

constexpr int32_t kForeignSignature = 12345678;
constexpr size_t kOverlongLength = 2000;

}  // namespace headsetsim
