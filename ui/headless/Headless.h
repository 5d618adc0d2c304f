// The headless back end: the way the window's logic is tested natively (and under Wine).
// It is not a user interface. Nothing is drawn; every property stays readable on the portable
// objects, and this back end records what a window would have shown.
//
// Tests drive it through the controls' User... entry points (UserClick, UserSetText,
// UserSelect, UserSelectPage, TUpDown::UserClick, TForm::UserClose, TForm::DeliverMessage) and
// through this class: the virtual clock, the keyboard state, scripted answers to message boxes
// and file dialogs.
//
// Virtual clock. TickCount() reads it; SleepMs(ms) advances it by ms without running anything;
// Advance(ms) advances it step by step, running each timer whose period ends on the way (in
// the order they fall due) and the calls queued by other threads; ProcessMessages runs every
// timer that is due now once and the queued calls. Run() advances the clock by itself to the
// next timer when nothing else is to be done, and otherwise waits (really) for a call from
// another thread; if it waits longer than IdleTimeout() it throws std::runtime_error, so a
// test never hangs.
//
// Text metric (deterministic, so that tests can compute line breaks): one narrow character is
// (|font height| + 1) / 2 pixels wide: 6 at 8 point (height -11), 7 at 10 point (height -13);
// a wide character is twice that. In the portable build a character is one UTF-8 sequence and
// it is wide when the sequence has 3 or 4 bytes (CJK and the like); on Windows it is one byte
// or one double-byte character (CharLength), wide when it has 2 bytes. The height of a line is
// |font height| + 2 (13 at 8 point).
//
// Message boxes. Each box is recorded (owner, text, caption, flags, answer). Its answer is
// the OnMessageBox hook's (when set and non-zero), else the next scripted answer
// (AnswerMessageBox), else its default button: MB_DEFBUTTON1/2/3 of its button set (IDOK for
// MB_OK, IDNO for MB_YESNO | MB_DEFBUTTON2, ...). The standard error display is recorded both
// as a box and in ShownExceptions().
//
// Cursor handles: LoadSystemCursor(MAKEINTRESOURCE(n)) gives a handle whose value is n
// (CursorId reads it back); the current cursor starts as IDC_ARROW.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/Application.h"
#include "ui/Backend.h"

namespace ui {

struct TMessageBoxRecord {
    TForm* owner = nullptr;
    std::string text;
    std::string caption;
    UINT flags = 0;
    int answer = 0;
};

struct TFileDialogRecord {
    TForm* owner = nullptr;
    std::string filter;
    std::string fileName;  // the preset it was opened with
    std::string initialDir;
    std::optional<std::string> result;  // chosen file; nullopt: cancelled
};

struct TDeviceNotificationRecord {
    TForm* form = nullptr;
    GUID interfaceClass{};
    HDEVNOTIFY handle = nullptr;
};

// The headless peer: counts what it was told.
class THeadlessPeer : public TPeer {
  public:
    void Changed(TProperty what) override { ++changes_[what]; }
    void ItemsChanged(const TStringsChange& change) override {
        (void)change;
        ++itemChanges_;
    }
    void Repaint() override { ++repaints_; }
    void Focus() override { ++focusRequests_; }
    void DefaultHandler(TMessage& message) override;

    int Changes(TProperty what) const;
    int ItemChanges() const { return itemChanges_; }
    int Repaints() const { return repaints_; }
    int FocusRequests() const { return focusRequests_; }
    const std::vector<TMessage>& DefaultHandled() const { return defaultHandled_; }

  private:
    std::map<TProperty, int> changes_;
    int itemChanges_ = 0;
    int repaints_ = 0;
    int focusRequests_ = 0;
    std::vector<TMessage> defaultHandled_;
};

class THeadlessBackend : public TBackend {
  public:
    THeadlessBackend();
    ~THeadlessBackend() override;

    // Makes a headless back end, initialises ui::Application with it and returns it (owned by
    // the application until Application->Finalize()).
    static THeadlessBackend& Install();
    // The headless back end of ui::Application (throws std::logic_error when it has none).
    static THeadlessBackend& Current();
    // The headless peer of a control (null before the window exists).
    static THeadlessPeer* PeerOf(const TControl& control);

    // Virtual clock (starts at 0).
    DWORD Now() const;
    void SetNow(DWORD now);
    void Advance(DWORD ms);
    // Whether timer is running (enabled with a period started) and when its period ends.
    bool TimerRunning(const TTimer& timer) const;
    DWORD TimerDue(const TTimer& timer) const;
    std::chrono::milliseconds IdleTimeout() const { return idleTimeout_; }
    void SetIdleTimeout(std::chrono::milliseconds timeout) { idleTimeout_ = timeout; }

    // Keyboard state (all keys up at start).
    void SetKeyDown(int virtualKey, bool down);
    void ReleaseAllKeys();

    // Message boxes.
    void AnswerMessageBox(int answer);  // queues one answer
    int PendingAnswers() const { return static_cast<int>(answers_.size()); }
    std::function<int(const TMessageBoxRecord& box)> OnMessageBox;
    const std::vector<TMessageBoxRecord>& MessageBoxes() const { return boxes_; }
    const std::vector<std::string>& ShownExceptions() const { return exceptions_; }
    void ClearMessageBoxes();
    static int DefaultAnswer(UINT flags);

    // File dialogs: queued results (nullopt = cancel); without one the dialog is cancelled.
    void AnswerFileDialog(std::optional<std::string> fileName);
    const std::vector<TFileDialogRecord>& FileDialogs() const { return dialogs_; }

    // Cursor.
    HCURSOR CurrentCursor() const { return cursor_; }
    static int CursorId(HCURSOR cursor);
    const std::vector<HCURSOR>& CursorHistory() const { return cursorHistory_; }

    const std::vector<TDeviceNotificationRecord>& DeviceNotifications() const {
        return notifications_;
    }
    const std::string& Title() const { return title_; }

    // TBackend
    const char* Name() const override { return "headless"; }
    std::unique_ptr<TPeer> CreatePeer(TControl& control) override;
    void DispatchPending() override;
    void WaitForMessage() override;
    void Wake() override;
    void StartTimer(TTimer& timer) override;
    void StopTimer(TTimer& timer) override;
    int MessageBox(TForm* owner, const std::string& text, const std::string& caption,
                   UINT flags) override;
    bool ExecuteOpenDialog(TForm* owner, TOpenDialog& dialog) override;
    void ShowException(TForm* owner, const std::string& message, const std::string& title) override;
    void TitleChanged(const std::string& title) override { title_ = title; }
    HCURSOR LoadSystemCursor(LPCSTR id) override;
    HCURSOR SetCurrentCursor(HCURSOR cursor) override;
    bool ReadKeyboardState(BYTE (&state)[256]) override;
    DWORD TickCount() override { return Now(); }
    void SleepMs(DWORD ms) override;
    TSize MeasureText(const TFont& font, const std::string& text) override;
    HDEVNOTIFY RegisterDeviceInterfaceNotification(TForm& form,
                                                   const GUID& interfaceClass) override;

  private:
    // Runs the timer that falls due first at or before limit; false when none does.
    bool FireNextTimerDueBy(std::uint64_t limit);

    mutable std::mutex mutex_;  // guards clock_ and woken_
    std::condition_variable wakeSignal_;
    std::uint64_t clock_ = 0;  // virtual milliseconds (TickCount: the low 32 bits)
    bool woken_ = false;
    std::chrono::milliseconds idleTimeout_{10000};

    struct TimerState {
        std::uint64_t due;
        std::uint64_t order;  // start order, for timers falling due together
    };
    std::map<const TTimer*, TimerState> timers_;
    std::uint64_t timerStarts_ = 0;

    BYTE keys_[256] = {};
    std::deque<int> answers_;
    std::vector<TMessageBoxRecord> boxes_;
    std::vector<std::string> exceptions_;
    std::deque<std::optional<std::string>> fileAnswers_;
    std::vector<TFileDialogRecord> dialogs_;
    HCURSOR cursor_;
    std::vector<HCURSOR> cursorHistory_;
    std::vector<TDeviceNotificationRecord> notifications_;
    std::string title_;
};

}  // namespace ui
