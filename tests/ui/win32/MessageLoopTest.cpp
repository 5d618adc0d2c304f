// The message loop: timers, calls from other threads, modal message boxes, and the system
// services reached through the framework.
#include <atomic>
#include <thread>

#include "TestForm.h"
#include "ui/WindowThread.h"

namespace qvtest {
namespace {

using Win32MessageLoopTest = Win32Test;

TEST_F(Win32MessageLoopTest, TimerFiresUntilDisabled) {
    int ticks = 0;
    form_->Timer->OnTimer = [&](ui::TObject*) {
        if (++ticks == 2) form_->Timer->SetEnabled(false);
    };
    form_->Timer->SetInterval(20);
    form_->Timer->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return ticks == 2; }));
    PumpUntil([] { return false; }, 120);
    EXPECT_EQ(ticks, 2);
}

TEST_F(Win32MessageLoopTest, ChangingTheIntervalStartsAFullPeriod) {
    DWORD tickAt = 0;
    form_->Timer->OnTimer = [&](ui::TObject*) {
        tickAt = GetTickCount();
        form_->Timer->SetEnabled(false);
    };
    form_->Timer->SetInterval(300);
    form_->Timer->SetEnabled(true);
    PumpUntil([] { return false; }, 200);
    ASSERT_EQ(tickAt, 0u);
    DWORD changedAt = GetTickCount();
    form_->Timer->SetInterval(400);
    ASSERT_TRUE(PumpUntil([&] { return tickAt != 0; }));
    // Not at the old period's end (100 ms after the change) but a new full period later;
    // tick counts move in steps of up to 16 ms.
    EXPECT_GE(tickAt - changedAt, 400u - 16u);
}

TEST_F(Win32MessageLoopTest, SynchronizeFromAWorkerWakesTheWaitingLoop) {
    std::atomic<bool> done{false};
    DWORD ranOn = 0;
    std::thread worker([&] {
        Sleep(50);  // the window thread is blocked in WaitForMessage by now
        ui::TWindowThread::Synchronize([&] { ranOn = GetCurrentThreadId(); });
        done = true;
    });
    // A watchdog so that a lost wake-up fails the test instead of hanging it.
    std::atomic<bool> watchdogFired{false};
    DWORD windowThread = GetCurrentThreadId();
    std::thread watchdog([&] {
        for (int i = 0; i < 500 && !done; ++i) Sleep(10);
        if (!done) {
            watchdogFired = true;
            PostThreadMessageA(windowThread, WM_NULL, 0, 0);
        }
    });
    while (!done && !watchdogFired) {
        ui::Application->Backend()->WaitForMessage();
        ui::Application->ProcessMessages();
    }
    EXPECT_FALSE(watchdogFired);
    PumpUntil([&] { return done.load(); });
    worker.join();
    watchdog.join();
    EXPECT_EQ(ranOn, windowThread);
}

TEST_F(Win32MessageLoopTest, QueuedCallsAndTimersRunWhileAMessageBoxIsOpen) {
    std::atomic<bool> synced{false};
    std::atomic<int> ticks{0};
    form_->Timer->OnTimer = [&](ui::TObject*) { ++ticks; };
    form_->Timer->SetInterval(10);
    form_->Timer->SetEnabled(true);
    bool syncedWhileOpen = false;
    bool tickedWhileOpen = false;
    std::thread worker;
    TBoxAnswerer box("Busy box", IDOK, [&](HWND) {
        worker = std::thread([&] {
            ui::TWindowThread::Synchronize([&] {});
            synced = true;
        });
        for (int i = 0; i < 300 && !(synced && ticks > 0); ++i) Sleep(10);
        syncedWhileOpen = synced;
        tickedWhileOpen = ticks > 0;
    });
    ui::Application->MessageBox("Waiting", "Busy box", MB_OK);
    box.Join();
    PumpUntil([&] { return synced.load(); });
    worker.join();
    EXPECT_TRUE(syncedWhileOpen);
    EXPECT_TRUE(tickedWhileOpen);
}

TEST_F(Win32MessageLoopTest, MessageBoxReturnsTheAnswerGiven) {
    struct Case {
        UINT flags;
        int answer;
        int defaultButton;
    };
    const Case cases[] = {
        {MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, IDYES, IDNO},
        {MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, IDNO, IDNO},
        {MB_OK | MB_ICONINFORMATION, IDOK, IDOK},
    };
    for (const Case& c : cases) {
        TBoxAnswerer box("Note", c.answer);
        int answer = ui::Application->MessageBox(
            "The settings had been changed. Are you sure to exit?", "Note", c.flags);
        box.Join();
        ASSERT_TRUE(box.Found);
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(box.Text, "The settings had been changed. Are you sure to exit?");
        EXPECT_EQ(box.DefaultButton, c.defaultButton);
        EXPECT_EQ(box.Owner, Handle(form_));  // owned by the main form
    }
}

TEST_F(Win32MessageLoopTest, KeyboardStateAndWaitCursorComeFromThePlatform) {
    BYTE keys[256] = {};
    keys[VK_RSHIFT] = 0x80;
    ASSERT_TRUE(SetKeyboardState(keys));
    BYTE state[256];
    ASSERT_TRUE(ui::ReadKeyboardState(state));
    EXPECT_EQ(state[VK_RSHIFT] & 0x80, 0x80);
    EXPECT_EQ(state[VK_LSHIFT] & 0x80, 0);
    keys[VK_RSHIFT] = 0;
    SetKeyboardState(keys);

    HCURSOR wait = ui::LoadSystemCursor(IDC_WAIT);
    EXPECT_EQ(wait, LoadCursorA(nullptr, IDC_WAIT));
    HCURSOR before = ui::SetCurrentCursor(wait);
    EXPECT_EQ(GetCursor(), wait);
    EXPECT_EQ(ui::SetCurrentCursor(before), wait);

    DWORD start = ui::TickCount();
    ui::SleepMs(50);
    EXPECT_GE(ui::TickCount() - start, 50u - 16u);
}

}  // namespace
}  // namespace qvtest
