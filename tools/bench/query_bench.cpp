// Times the Open click to the end of the query sequence (requests 7, 8, 9, 10, 1, 2, 3, 4, 5)
// from the main window against the headset simulator with no reply delay, and sets it against
// the time the same bytes need on a 115200-baud line (10 bits a byte, both directions).
// The simulator is asked for no pause between "OK" and the status line either (gap=0); the
// default 20 ms pause, which makes the two arrive apart, is reported as a second figure.
// --gap MS measures with that pause only; --log FILE keeps a copy of the simulator's log, with
// the time of each request and write (--timestamps), for tools/bench/wine_query_bench.sh to
// read the gap per step from. Not a test: a measurement.
//   query_bench <qv-headset-sim> [runs] [--gap MS] [--log FILE]
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "device/protocol/Request.h"
#include "tests/app/UpgradeRig.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kQueryCodes[] = {7, 8, 9, 10, 1, 2, 3, 4, 5};

// Reads until `lines` line feeds arrived or 2 s passed; returns what came.
std::string ReadLines(int fd, int lines) {
    std::string got;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (std::count(got.begin(), got.end(), '\n') < lines && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

// The bytes of the query sequence in both directions, counted by asking the simulator the
// same requests over its line directly; 0 when that failed.
std::size_t ConversationBytes(const std::string& line) {
    const int fd = open(line.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return 0;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    std::size_t bytes = 0;
    for (int code : kQueryCodes) {
        const std::string request = device::FormatRequest(code, device::RequestValues{});
        if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
            break;
        bytes += request.size() + ReadLines(fd, 2).size();  // "OK" and the status line
    }
    close(fd);
    return bytes;
}

// Measures with the given pause between the two lines of an answer; prints its row. logCopy,
// when not empty, receives the simulator's log.
int Measure(const char* simulator, int gapMs, int runs, const std::string& logCopy) {
    UpgradeRig rig;
    if (!rig.StartSimulator(simulator,
                            {"--fault", "gap=" + std::to_string(gapMs), "--timestamps"})) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    TMajorForm* form = rig.OpenWindow();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        if (!rig.OpenAndQuery()) {
            std::fprintf(stderr, "run %d: the query sequence did not end\n", run + 1);
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        form->CloseComPortButton->UserClick();
        ui::Application->ProcessMessages();
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const std::size_t bytes = ConversationBytes(rig.SimulatorLine());
    if (bytes == 0) {
        std::fprintf(stderr, "could not count the conversation's bytes\n");
        return 1;
    }
    const double wireMs = bytes * 10 * 1000.0 / 115200;
    const double goalMs = 1.5 * wireMs + 20;
    std::printf(
        "gap %2d ms: median %6.1f ms (min %.1f, max %.1f) over %d runs; %zu bytes = "
        "%.1f ms on the wire; 1.5 x wire + 20 ms = %.1f ms: %s\n",
        gapMs, median, times.front(), times.back(), runs, bytes, wireMs, goalMs,
        median <= goalMs ? "met" : "not met");
    std::fflush(stdout);
    if (!logCopy.empty()) {
        std::ifstream in(rig.SimulatorLog(), std::ios::binary);
        std::ofstream out(logCopy, std::ios::binary);
        out << in.rdbuf();
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", logCopy.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* usage = "usage: query_bench <qv-headset-sim> [runs] [--gap MS] [--log FILE]\n";
    if (argc < 2) {
        std::fprintf(stderr, "%s", usage);
        return 2;
    }
    int runs = 20;
    std::vector<int> gaps = {0, 20};
    std::string logCopy;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gap") == 0 && i + 1 < argc) {
            gaps = {std::max(0, std::atoi(argv[++i]))};
        } else if (std::strcmp(argv[i], "--log") == 0 && i + 1 < argc) {
            logCopy = argv[++i];
        } else if (argv[i][0] != '-') {
            runs = std::max(1, std::atoi(argv[i]));
        } else {
            std::fprintf(stderr, "%s", usage);
            return 2;
        }
    }
    if (!logCopy.empty() && gaps.size() != 1) {
        std::fprintf(stderr, "--log needs --gap: one log for one pause\n");
        return 2;
    }
    std::printf("Open click to the end of the query sequence (9 requests), real time\n");
    // Each measurement in a process of its own: the window and its application are per process.
    for (int gapMs : gaps) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) _exit(Measure(argv[1], gapMs, runs, logCopy));
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
    }
    return 0;
}
