#include "console/ProgressLine.h"

#include <algorithm>
#include <cstdio>

namespace service {

std::string FormatMinutes(std::uint64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text;
}

std::string FormatProgressBar(const ProgressState& state, int width) {
    const int percent = std::clamp(state.percent, 0, 100);
    char head[64];
    std::snprintf(head, sizeof head, "%-8.24s %-11.16s ", state.label.c_str(), state.step.c_str());
    std::string tail;
    char number[64];
    std::snprintf(number, sizeof number, " %3d%%", percent);
    tail = number;
    if (state.bytesDone > 0 && state.stepElapsedMs > 0) {
        const double perSecond = static_cast<double>(state.bytesDone) * 1000.0 /
                                 static_cast<double>(state.stepElapsedMs);
        std::snprintf(number, sizeof number, "  %6.1f KiB/s", perSecond / 1024.0);
        tail += number;
        if (state.bytesTotal > state.bytesDone && perSecond > 0) {
            const auto left = static_cast<std::uint64_t>(
                static_cast<double>(state.bytesTotal - state.bytesDone) / perSecond + 0.5);
            tail += "  ETA " + FormatMinutes(left);
        }
    }
    // The bar takes what the rest leaves, between 10 and 30 cells.
    const int room = width - static_cast<int>(std::string(head).size() + tail.size()) - 2;
    const int cells = std::clamp(room, 10, 30);
    const int filled = percent * cells / 100;
    std::string line = head;
    line += '[' + std::string(static_cast<size_t>(filled), '#') +
            std::string(static_cast<size_t>(cells - filled), '.') + ']' + tail;
    if (width > 0 && static_cast<int>(line.size()) > width) line.resize(static_cast<size_t>(width));
    return line;
}

std::string FormatProgressPlain(const ProgressState& state) {
    return state.label + ": " + state.step + " " +
           std::to_string(std::clamp(state.percent, 0, 100)) + "%";
}

}  // namespace service
