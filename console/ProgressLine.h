// The text of one headset's progress: its step, percent, transfer rate and time left.
#pragma once

#include <cstdint>
#include <string>

namespace service {

struct ProgressState {
    std::string label;  // the headset's port, or the DFU device
    std::string step;   // "reconfigure", "download", "verify", "manifest", "waiting", ...
    int percent = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;     // 0: unknown
    std::uint64_t stepElapsedMs = 0;  // since the step began
};

// The line of a progress bar for a terminal, at most width columns:
//   "COM5   download   [##########..........]  50%   19.8 KiB/s  ETA 0:06"
// The rate and the time left appear once bytes have moved.
std::string FormatProgressBar(const ProgressState& state, int width);

// The plain line written at each tenth of a step when the output is not a terminal:
//   "COM5: download 50%"
std::string FormatProgressPlain(const ProgressState& state);

// "m:ss" for a duration (minutes unbounded).
std::string FormatMinutes(std::uint64_t seconds);

}  // namespace service
