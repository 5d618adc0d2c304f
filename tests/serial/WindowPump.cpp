#include "tests/serial/WindowPump.h"

#include <thread>

#include "ui/WindowThread.h"

namespace serialtest {

WindowPump::WindowPump() {
    ui::TWindowThread::Reset();
    ui::TWindowThread::Attach();
    ui::SetExceptionDisplay([this](const char* message) {
        std::lock_guard<std::mutex> lock(mutex_);
        shown_.emplace_back(message);
    });
}

WindowPump::~WindowPump() {
    ui::TWindowThread::RunPending();
    ui::SetExceptionDisplay(nullptr);
}

bool WindowPump::Until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        ui::TWindowThread::RunPending();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void WindowPump::For(std::chrono::milliseconds duration) {
    auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline) {
        ui::TWindowThread::RunPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ui::TWindowThread::RunPending();
}

std::vector<std::string> WindowPump::Shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

}  // namespace serialtest
