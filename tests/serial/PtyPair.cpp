#include "tests/serial/PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace serialtest {

PtyPair::PtyPair() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath_ = name;
    termios settings{};
    tcgetattr(slave_, &settings);
    cfmakeraw(&settings);
    tcsetattr(slave_, TCSANOW, &settings);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
}

void PtyPair::Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else {
            pollfd fd{master_, POLLOUT, 0};
            poll(&fd, 1, 100);
        }
    }
}

std::string PtyPair::Receive(std::size_t count, std::chrono::milliseconds limit) {
    std::string received;
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (received.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fd{master_, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
        std::vector<char> buffer(count - received.size());
        ssize_t n = read(master_, buffer.data(), buffer.size());
        if (n > 0) received.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return received;
}

bool PtyPair::WaitUntilSlaveReadable(std::chrono::milliseconds limit) {
    pollfd fd{slave_, POLLIN, 0};
    return poll(&fd, 1, static_cast<int>(limit.count())) == 1;
}

termios PtyPair::SlaveSettings() const {
    termios settings{};
    tcgetattr(slave_, &settings);
    return settings;
}

void PtyPair::HangUp() {
    close(master_);
    master_ = -1;
}

ComLinks::ComLinks() {
    char pattern[] = "/tmp/qv-com-links-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    setenv("QV_COM_DIR", folder_.c_str(), 1);
}

ComLinks::~ComLinks() {
    unsetenv("QV_COM_DIR");
    std::string command = "rm -rf '" + folder_ + "'";
    if (std::system(command.c_str()) != 0) {
        // A leftover folder in /tmp is harmless.
    }
}

void ComLinks::Link(const std::string& comName, const std::string& target) {
    std::string link;
    for (char c : comName) link += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string path = folder_ + "/" + link;
    unlink(path.c_str());
    if (symlink(target.c_str(), path.c_str()) != 0) throw std::runtime_error("symlink failed");
}

}  // namespace serialtest
