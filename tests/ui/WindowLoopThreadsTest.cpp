// Calls from worker threads reaching the window thread while the application's message loop
// (Run) or ProcessMessages pumps, on the headless back end.
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "HeadlessFixture.h"

using namespace ui;

namespace {

class WindowLoopThreadsTest : public HeadlessTest {};

TEST_F(WindowLoopThreadsTest, SynchronizeWhileRunPumpsAndCloseFromAWorker) {
    TForm* form = nullptr;
    Application->CreateForm(form);
    auto* label = new TLabel(form);
    const std::thread::id windowThread = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> closed{false};

    std::thread worker([&] {
        // Give Run time to block waiting for something to do.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(TWindowThread::Synchronize([&] {
            ranOn = std::this_thread::get_id();
            label->SetCaption("from the worker");
        }));
        EXPECT_TRUE(TWindowThread::Synchronize([&] { form->Close(); }));
        closed = true;
    });
    Application->Run();  // no timer: waits (really) for the worker's calls
    worker.join();
    EXPECT_TRUE(closed);
    EXPECT_EQ(ranOn, windowThread);
    EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST_F(WindowLoopThreadsTest, SynchronizeWhileProcessMessagesPumpsPassesErrorsBack) {
    auto form = MakeForm();
    std::atomic<bool> done{false};
    std::string caught;
    std::thread worker([&] {
        try {
            TWindowThread::Synchronize([] { throw std::runtime_error("handler failed"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        Application->ProcessMessages();
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_EQ(caught, "handler failed");
    // The error went back to the caller, not to the standard error display.
    EXPECT_TRUE(backend->ShownExceptions().empty());
}

TEST_F(WindowLoopThreadsTest, TimersAndWorkerCallsInterleaveInRun) {
    TForm* form = nullptr;
    Application->CreateForm(form);
    auto* timer = new TTimer(form);
    timer->SetInterval(100);
    std::atomic<int> ticks{0};
    timer->OnTimer = [&](TObject*) { ++ticks; };
    std::thread worker([&] {
        // The timer keeps the loop busy on virtual time; this call still gets through.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        TWindowThread::Synchronize([&] { form->Close(); });
    });
    Application->Run();
    worker.join();
    EXPECT_GT(ticks.load(), 0);
}

TEST_F(WindowLoopThreadsTest, FinalizeReleasesAWorkerWaitingForTheWindowThread) {
    std::atomic<bool> queued{false};
    TWindowThread::SetWakeHook([&] { queued = true; });
    std::atomic<int> result{-1};
    std::thread worker([&] { result = TWindowThread::Synchronize([] {}) ? 1 : 0; });
    while (!queued) std::this_thread::yield();
    Application->Finalize();
    worker.join();
    EXPECT_EQ(result, 0);
}

TEST_F(WindowLoopThreadsTest, IdleRunWithNothingToWaitForFailsInsteadOfHanging) {
    TForm* form = nullptr;
    Application->CreateForm(form);
    backend->SetIdleTimeout(std::chrono::milliseconds(50));
    EXPECT_THROW(Application->Run(), std::runtime_error);
}

}  // namespace
