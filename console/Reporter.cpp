#include "console/Reporter.h"

namespace service {

Reporter::Reporter(Mode mode, bool quiet, std::FILE* out, std::FILE* err, int width)
    : mode_(mode), quiet_(quiet), out_(out), err_(err), width_(width) {}

void Reporter::Write(std::FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// The bars sit at the bottom: anything else is written in their place and they are drawn
// again below it.
void Reporter::EraseBars() {
    if (drawnLines_ == 0) return;
    std::fprintf(out_, "\x1b[%dA\r\x1b[J", drawnLines_);
    drawnLines_ = 0;
}

void Reporter::DrawBars() {
    EraseBars();
    for (const Bar& bar : bars_) {
        std::fprintf(out_, "\r\x1b[2K%s\n", FormatProgressBar(bar.state, width_ - 1).c_str());
    }
    drawnLines_ = static_cast<int>(bars_.size());
    std::fflush(out_);
    lastDraw_ = Clock::now();
}

void Reporter::WriteAboveBars(std::FILE* stream, const std::string& text) {
    const bool redraw = drawnLines_ > 0;
    EraseBars();
    std::fflush(out_);
    Write(stream, text);
    if (redraw) DrawBars();
}

void Reporter::Say(const std::string& text) {
    if (quiet_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    WriteAboveBars(mode_ == Mode::Json ? err_ : out_, text);
}

void Reporter::Show(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ != Mode::Json) WriteAboveBars(out_, text);
}

void Reporter::Error(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    WriteAboveBars(err_, text);
}

void Reporter::Event(const JsonLine& line) {
    if (mode_ != Mode::Json) return;
    std::lock_guard<std::mutex> lock(mutex_);
    Write(out_, line.str());
}

int Reporter::AddBar(const std::string& label, const std::string& jsonKey) {
    std::lock_guard<std::mutex> lock(mutex_);
    Bar bar;
    bar.state.label = label;
    bar.state.step = "waiting";
    bar.jsonKey = jsonKey;
    bar.stepStart = Clock::now();
    bars_.push_back(bar);
    return static_cast<int>(bars_.size()) - 1;
}

void Reporter::Step(int index, const std::string& step, bool fromZero) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<int>(bars_.size())) return;
    Bar& bar = bars_[static_cast<size_t>(index)];
    bar.state.step = step;
    bar.state.bytesDone = bar.state.bytesTotal = bar.state.stepElapsedMs = 0;
    bar.stepStart = Clock::now();
    if (fromZero) {
        bar.state.percent = 0;
        bar.lastTenth = 0;  // the step's own line stands for its 0%
        bar.lastPercent = -1;
    }
    if (mode_ == Mode::Json) {
        Write(out_, JsonLine("step").Text(bar.jsonKey, bar.state.label).Text("step", step).str());
        return;
    }
    if (quiet_) return;
    if (mode_ == Mode::Terminal) {
        DrawBars();
    } else {
        Write(out_, bar.state.label + ": " + step);
    }
}

void Reporter::Progress(int index, int percent, std::uint64_t bytesDone, std::uint64_t bytesTotal) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<int>(bars_.size())) return;
    Bar& bar = bars_[static_cast<size_t>(index)];
    const Clock::time_point now = Clock::now();
    bar.state.percent = percent;
    bar.state.bytesDone = bytesDone;
    bar.state.bytesTotal = bytesTotal;
    bar.state.stepElapsedMs = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now - bar.stepStart).count());
    if (mode_ == Mode::Json) {
        if (percent == bar.lastPercent) return;
        bar.lastPercent = percent;
        Write(out_, JsonLine("progress")
                        .Text(bar.jsonKey, bar.state.label)
                        .Text("step", bar.state.step)
                        .Number("percent", percent)
                        .Number("bytes_done", static_cast<std::int64_t>(bytesDone))
                        .Number("bytes_total", static_cast<std::int64_t>(bytesTotal))
                        .str());
        return;
    }
    if (quiet_) return;
    if (mode_ == Mode::Plain) {
        const int tenth = percent / 10;
        if (tenth == bar.lastTenth) return;
        bar.lastTenth = tenth;
        Write(out_, FormatProgressPlain(bar.state));
        return;
    }
    // A terminal is redrawn ten times a second at most, and at the end of a step.
    if (percent < 100 && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    DrawBars();
}

void Reporter::EndBars() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mode_ == Mode::Terminal && !quiet_ && !bars_.empty()) DrawBars();
    drawnLines_ = 0;
    bars_.clear();
}

}  // namespace service
