// Serial port benchmark over a pty pair (not a test).
//
//   round trip: WriteString of a 12-byte request -> the far end echoes it -> the bytes have
//               all arrived in OnRxChar on the window thread; median and 99th percentile
//               over 1000 exchanges.
//   idle:       CPU time the whole process uses over 10 s with the port open and nothing
//               arriving; the event thread must block, never poll.
//
// Usage: serial_bench [exchanges] [idle seconds]
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/Comport.h"
#include "ui/WindowThread.h"

namespace {

using Clock = std::chrono::steady_clock;

// The window thread's message loop in miniature: sleeps until a call is handed over.
class MessageLoop {
  public:
    MessageLoop() {
        ui::TWindowThread::Attach();
        ui::TWindowThread::SetWakeHook([this] {
            std::lock_guard<std::mutex> lock(mutex_);
            woken_ = true;
            wake_.notify_one();
        });
    }
    ~MessageLoop() { ui::TWindowThread::SetWakeHook(nullptr); }

    // Runs handed-over calls until done() holds or the time is up.
    bool RunUntil(const std::function<bool()>& done, Clock::duration limit) {
        auto deadline = Clock::now() + limit;
        for (;;) {
            ui::TWindowThread::RunPending();
            if (done()) return true;
            std::unique_lock<std::mutex> lock(mutex_);
            if (!wake_.wait_until(lock, deadline, [this] { return woken_; })) return done();
            woken_ = false;
        }
    }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false;
};

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    int exchanges = argc > 1 ? std::atoi(argv[1]) : 1000;
    int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

    int master = -1;
    int slave = -1;
    char slaveName[256] = {};
    if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);

    char folder[] = "/tmp/qv-serial-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    std::string link = std::string(folder) + "/com5";
    if (symlink(slaveName, link.c_str()) != 0) return 1;
    setenv("QV_COM_DIR", folder, 1);

    // The far end: echoes every byte back at once.
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        char buffer[256];
        while (!stop) {
            pollfd fd{master, POLLIN, 0};
            if (poll(&fd, 1, 100) <= 0) continue;
            ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0 && write(master, buffer, static_cast<std::size_t>(n)) != n) break;
        }
    });

    MessageLoop loop;
    std::size_t received = 0;
    TComPort port;
    port.SetDeviceName("COM5");
    port.SetBaudRate(TBaudRate::br115200);
    port.SetDataBits(TDataBits::db8);
    port.SetParity(TParity::paNone);
    port.SetStopBits(TStopBits::sb1);
    port.SetOnRxChar([&](TCustomComPort* sender) {
        char buffer[256];
        std::int32_t count = std::min<std::int32_t>(sender->InputCount(), sizeof buffer);
        if (count > 0) sender->Read(buffer, count, true);
        received += static_cast<std::size_t>(count);
    });
    port.Open();

    const std::string request = "AT+QVCMD1=7\r";
    std::vector<double> microseconds;
    for (int i = 0; i < exchanges; ++i) {
        received = 0;
        auto start = Clock::now();
        port.WriteString(request);
        if (!loop.RunUntil([&] { return received >= request.size(); }, std::chrono::seconds(5))) {
            std::fprintf(stderr, "exchange %d timed out\n", i);
            return 1;
        }
        microseconds.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(microseconds.begin(), microseconds.end());
    if (!microseconds.empty()) {
        double median = microseconds[microseconds.size() / 2];
        double p99 =
            microseconds[std::min(microseconds.size() - 1, microseconds.size() * 99 / 100)];
        std::printf("round trip over %d exchanges: median %.1f us, p99 %.1f us, max %.1f us\n",
                    exchanges, median, p99, microseconds.back());
    }

    stop = true;
    echo.join();
    double cpuBefore = CpuSeconds();
    auto wallBefore = Clock::now();
    loop.RunUntil([] { return false; }, std::chrono::seconds(idleSeconds));
    double cpu = CpuSeconds() - cpuBefore;
    double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    std::printf("idle open port: %.3f ms CPU over %.1f s (%.4f%% of one core)\n", cpu * 1e3, wall,
                100.0 * cpu / wall);

    port.Close();
    unlink(link.c_str());
    rmdir(folder);
    close(master);
    close(slave);
    return 0;
}
