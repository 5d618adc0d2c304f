#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ui/WindowThread.h"

namespace {

class WindowThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::TWindowThread::Reset();
        ui::TWindowThread::Attach();
    }
    void TearDown() override { ui::TWindowThread::SetWakeHook(nullptr); }

    // Pumps the queue on this (window) thread until done becomes true.
    static void PumpUntil(const std::atomic<bool>& done) {
        while (!done) {
            ui::TWindowThread::RunPending();
            std::this_thread::yield();
        }
    }
};

TEST_F(WindowThreadTest, OnWindowThreadRunsAtOnce) {
    int runs = 0;
    EXPECT_TRUE(ui::TWindowThread::Synchronize([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ui::TWindowThread::RunPending(), 0);
}

TEST_F(WindowThreadTest, WorkerBlocksUntilTheWindowThreadRanTheCall) {
    std::atomic<bool> done{false};
    std::thread::id ranOn;
    std::thread worker([&] {
        ui::TWindowThread::Synchronize([&] { ranOn = std::this_thread::get_id(); });
        done = true;
    });
    PumpUntil(done);
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(WindowThreadTest, ErrorComesBackToTheCaller) {
    std::atomic<bool> done{false};
    std::string caught;
    std::thread worker([&] {
        try {
            ui::TWindowThread::Synchronize([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        done = true;
    });
    PumpUntil(done);
    worker.join();
    EXPECT_EQ(caught, "boom");
}

TEST_F(WindowThreadTest, CallsRunInQueueOrderAndWakeTheLoop) {
    std::atomic<int> wakes{0};
    ui::TWindowThread::SetWakeHook([&] { ++wakes; });
    std::vector<int> order;
    ui::TWindowThread::Post([&] { order.push_back(1); });
    ui::TWindowThread::Post([&] { order.push_back(2); });
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(ui::TWindowThread::RunPending(), 2);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST_F(WindowThreadTest, ShutdownReleasesAWaitingWorker) {
    std::atomic<bool> started{false};
    std::atomic<int> result{-1};
    ui::TWindowThread::SetWakeHook([&] { started = true; });
    std::thread worker([&] { result = ui::TWindowThread::Synchronize([] {}) ? 1 : 0; });
    while (!started) std::this_thread::yield();
    ui::TWindowThread::Shutdown();
    worker.join();
    EXPECT_EQ(result, 0);
}

}  // namespace
