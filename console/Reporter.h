// Everything qvdfu shows, from any thread: messages for people, the data a command was asked
// for, errors, JSON events, and the progress of each headset being upgraded.
//
// Modes:
// - Terminal: messages on standard output, one progress bar per headset, redrawn in place;
// - Plain (output not a terminal): messages, and one line per headset at each tenth of a step;
// - Json: one JSON object per line on standard output; messages for people go to standard
//   error, so that standard output stays machine-readable.
// Errors always go to standard error. Quiet drops messages and progress, not data or errors.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "console/JsonLine.h"
#include "console/ProgressLine.h"

namespace service {

class Reporter {
  public:
    enum class Mode { Terminal, Plain, Json };

    Reporter(Mode mode, bool quiet, std::FILE* out, std::FILE* err, int width = 80);

    Mode GetMode() const { return mode_; }
    bool Json() const { return mode_ == Mode::Json; }

    // A message for people.
    void Say(const std::string& text);
    // The data a command was asked for (not in JSON mode, where its event carries it).
    void Show(const std::string& text);
    void Error(const std::string& text);
    // Written in JSON mode only.
    void Event(const JsonLine& line);

    // Progress. A bar per headset (label: its port, or the DFU device's name; jsonKey: "port"
    // or "device" in its events). Step starts a step (at 0% unless fromZero is false: a phase
    // within a step, whose percent goes on; its rate and time left start afresh).
    int AddBar(const std::string& label, const std::string& jsonKey);
    void Step(int bar, const std::string& step, bool fromZero = true);
    void Progress(int bar, int percent, std::uint64_t bytesDone, std::uint64_t bytesTotal);
    // Leaves the bars where they are; later output goes below them.
    void EndBars();

  private:
    using Clock = std::chrono::steady_clock;

    struct Bar {
        ProgressState state;
        std::string jsonKey;
        Clock::time_point stepStart;
        int lastTenth = -1;    // Plain: the last tenth written
        int lastPercent = -1;  // Json: the last percent sent
    };

    void Write(std::FILE* stream, const std::string& text);
    // A line where the bars are; they are drawn again below it.
    void WriteAboveBars(std::FILE* stream, const std::string& text);
    void EraseBars();
    void DrawBars();

    const Mode mode_;
    const bool quiet_;
    std::FILE* out_;
    std::FILE* err_;
    const int width_;
    std::mutex mutex_;
    std::vector<Bar> bars_;
    int drawnLines_ = 0;  // Terminal: bar lines now on the screen above the cursor
    Clock::time_point lastDraw_{};
};

}  // namespace service
