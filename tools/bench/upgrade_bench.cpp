// Times a whole firmware upgrade of a 1 MiB image from the main window against the headset
// simulator (bwPollTimeout 0), phase by phase. Not a test: a measurement.
//   upgrade_bench <qv-headset-sim> <qvdfufile> [image KiB] [runs]
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/app/UpgradeRig.h"

namespace {

// One upgrade; prints its row. The bridge takes one notification function per process, so
// every run is a process of its own.
int RunOnce(int run, const char* simulator, const char* dfufile, std::size_t kib) {
    UpgradeRig rig;
    if (!rig.StartSimulator(simulator)) return 1;
    rig.OpenWindow();
    if (!rig.OpenAndQuery()) return 1;
    const std::string file = rig.MakeFirmwareFile(dfufile, kib * 1024);
    UpgradeRig::Phases p;
    const std::string error = rig.Upgrade(file, &p);
    if (!error.empty()) {
        std::fprintf(stderr, "run %d: %s\n", run, error.c_str());
        return 1;
    }
    const double total = p.handOverMs + p.deviceWaitMs + p.reconfigureMs + p.downloadMs +
                         p.manifestMs + p.reconnectMs;
    std::printf("%-6d %10.1f %10.1f %12.1f %10.1f %10.1f %10.1f %10.1f\n", run, p.handOverMs,
                p.deviceWaitMs, p.reconfigureMs, p.downloadMs, p.manifestMs, p.reconnectMs, total);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: upgrade_bench <qv-headset-sim> <qvdfufile> [KiB] [runs]\n");
        return 2;
    }
    const std::size_t kib = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 1024;
    const int runs = argc > 4 ? std::atoi(argv[4]) : 3;
    std::printf("image %zu KiB, %d runs (real time, ms)\n", kib, runs);
    std::printf("%-6s %10s %10s %12s %10s %10s %10s %10s\n", "run", "hand-over", "dev-wait",
                "reconfigure", "download", "manifest", "reconnect", "total");
    for (int run = 1; run <= runs; ++run) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) _exit(RunOnce(run, argv[1], argv[2], kib));
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
    }
    std::printf(
        "The program adds fixed waits of its own timers: 1 ms + 1000 ms from the reply to "
        "the engine start, and up to 100 ms per step for the progress timer.\n");
    return 0;
}
