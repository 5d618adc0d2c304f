#include "SimClient.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <sstream>

namespace headsetsim::test {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

SimProcess::~SimProcess() {
    if (pid_ > 0) Stop();
    if (out_ >= 0) close(out_);
}

bool SimProcess::Start(const std::vector<std::string>& args, const std::string& upText) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeFds[1], 1);
        dup2(pipeFds[1], 2);  // its messages too: a test reads what a user would see
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(QV_HEADSET_SIM_PATH));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    out_ = pipeFds[0];
    if (pid_ < 0) return false;
    return WaitForOutput(upText);  // READY also reads the PTY and LINK lines
}

void SimProcess::ParseStartLines(size_t from) {
    std::istringstream lines(output_.substr(from));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("PTY ", 0) == 0) ttyPath_ = line.substr(4);
        if (line.rfind("LINK ", 0) == 0) links_.push_back(line.substr(5));
    }
}

bool SimProcess::ReadOutput(int timeoutMs) {
    pollfd p = {out_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(out_, buffer, sizeof buffer);
    if (n == 0) ended_ = true;  // it closed its output: nothing more will come
    if (n <= 0) return false;
    output_.append(buffer, static_cast<size_t>(n));
    return true;
}

bool SimProcess::WaitForOutput(const std::string& text, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t at = output_.find(text, consumed_);
        if (at != std::string::npos) {
            const size_t from = consumed_;
            consumed_ = at + text.size();
            if (text == "READY\n") {
                links_.clear();
                ParseStartLines(from);
            }
            return true;
        }
        if (MsLeft(end) == 0 || !ReadOutput(std::min(MsLeft(end), 100))) {
            if (MsLeft(end) == 0 || ended_) return false;
        }
    }
}

void SimProcess::Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
}

int SimProcess::WaitForExit(int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid_ > 0) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            while (ReadOutput(0)) {
            }
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (MsLeft(end) == 0) return -1;
        ReadOutput(10);  // keep its stdout flowing
    }
    return -1;
}

int SimProcess::Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    const int status = WaitForExit(3000);
    if (status >= 0) return status;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
}

LineClient::~LineClient() {
    Close();
}

bool LineClient::Open(const std::string& path) {
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0) return false;
    termios settings;
    if (tcgetattr(fd_, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(fd_, TCSANOW, &settings);
    }
    return true;
}

void LineClient::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

void LineClient::Send(const std::string& bytes) {
    chunks.clear();
    ssize_t unused = write(fd_, bytes.data(), bytes.size());
    (void)unused;
}

std::string LineClient::Receive(int lineFeeds, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string all;
    while (std::count(all.begin(), all.end(), '\n') < lineFeeds && MsLeft(end) > 0) {
        pollfd p = {fd_, POLLIN, 0};
        if (poll(&p, 1, MsLeft(end)) <= 0) break;
        char buffer[4096];
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        chunks.emplace_back(buffer, static_cast<size_t>(n));
        all += chunks.back();
    }
    return all;
}

std::string LineClient::ReceiveFor(int ms) {
    return Receive(1 << 30, ms);
}

bool LineClient::HungUp(int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (MsLeft(end) > 0) {
        pollfd p = {fd_, POLLIN, 0};
        if (poll(&p, 1, MsLeft(end)) <= 0) return false;
        char buffer[4096];
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno == EIO)) return true;
    }
    return false;
}

}  // namespace headsetsim::test
