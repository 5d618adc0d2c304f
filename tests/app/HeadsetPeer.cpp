#include "tests/app/HeadsetPeer.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "ui/Application.h"

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < limit) {
        ui::Application->ProcessMessages();
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ui::Application->ProcessMessages();
    return done();
}

HeadsetPeer::HeadsetPeer() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    devicePath_ = name;
}

HeadsetPeer::~HeadsetPeer() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
}

void HeadsetPeer::ReadAvailable() {
    char buffer[512];
    for (;;) {
        ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) return;
        received_.append(buffer, static_cast<size_t>(n));
    }
}

std::string HeadsetPeer::NextRequest() {
    std::string request;
    PumpUntil([&] {
        ReadAvailable();
        std::size_t cr = received_.find('\r');
        if (cr == std::string::npos) return false;
        request = received_.substr(0, cr);
        received_.erase(0, cr + 1);
        return true;
    });
    return request;
}

bool HeadsetPeer::HasPendingBytes() {
    ReadAvailable();
    return !received_.empty();
}

void HeadsetPeer::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void HeadsetPeer::HangUp() {
    close(master_);
    master_ = -1;
    close(slave_);
    slave_ = -1;
}
