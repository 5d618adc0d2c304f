#include "ui/headless/Headless.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "ui/WindowThread.h"

namespace ui {

// ---- THeadlessPeer

namespace {

class TFormPeer : public THeadlessPeer {
  public:
    explicit TFormPeer(TForm& form) : form_(form) {}
    void DefaultHandler(TMessage& message) override {
        THeadlessPeer::DefaultHandler(message);
        // What the Win32 default processing does with the messages tests deliver.
        if (message.Msg == WM_CLOSE) {
            form_.Close();
        } else if (message.Msg == WM_DEVICECHANGE) {
            message.Result = TRUE;
        }
    }

  private:
    TForm& form_;
};

}  // namespace

void THeadlessPeer::DefaultHandler(TMessage& message) {
    message.Result = 0;
    defaultHandled_.push_back(message);
}

int THeadlessPeer::Changes(TProperty what) const {
    auto it = changes_.find(what);
    return it == changes_.end() ? 0 : it->second;
}

// ---- THeadlessBackend

THeadlessBackend::THeadlessBackend() : cursor_(LoadSystemCursor(IDC_ARROW)) {}

THeadlessBackend::~THeadlessBackend() = default;

THeadlessBackend& THeadlessBackend::Install() {
    auto backend = std::make_unique<THeadlessBackend>();
    THeadlessBackend& result = *backend;
    Application->Initialize(std::move(backend));
    return result;
}

THeadlessBackend& THeadlessBackend::Current() {
    auto* backend = dynamic_cast<THeadlessBackend*>(Application->Backend());
    if (!backend) throw std::logic_error("the application has no headless back end");
    return *backend;
}

THeadlessPeer* THeadlessBackend::PeerOf(const TControl& control) {
    return dynamic_cast<THeadlessPeer*>(control.Peer());
}

std::unique_ptr<TPeer> THeadlessBackend::CreatePeer(TControl& control) {
    if (control.Kind() == TControlKind::Form) {
        return std::make_unique<TFormPeer>(static_cast<TForm&>(control));
    }
    return std::make_unique<THeadlessPeer>();
}

// Clock and timers.

DWORD THeadlessBackend::Now() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<DWORD>(clock_);
}

void THeadlessBackend::SetNow(DWORD now) {
    std::lock_guard<std::mutex> lock(mutex_);
    clock_ += static_cast<DWORD>(now - static_cast<DWORD>(clock_));
}

void THeadlessBackend::SleepMs(DWORD ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    clock_ += ms;
}

void THeadlessBackend::Advance(DWORD ms) {
    std::uint64_t target;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        target = clock_ + ms;
    }
    do {
        TWindowThread::RunPending();
    } while (FireNextTimerDueBy(target));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (clock_ < target) clock_ = target;
    }
    TWindowThread::RunPending();
}

bool THeadlessBackend::FireNextTimerDueBy(std::uint64_t limit) {
    TTimer* next = nullptr;
    TimerState best{};
    for (const auto& [timer, state] : timers_) {
        if (state.due > limit) continue;
        if (!next || state.due < best.due || (state.due == best.due && state.order < best.order)) {
            next = const_cast<TTimer*>(timer);
            best = state;
        }
    }
    if (!next) return false;
    std::uint64_t now;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (clock_ < best.due) clock_ = best.due;
        now = clock_;
    }
    // The next period runs from this tick; a handler that stops or restarts the timer wins.
    timers_[next] = TimerState{now + next->Interval(), best.order};
    next->Tick();
    return true;
}

void THeadlessBackend::DispatchPending() {
    std::uint64_t now;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        now = clock_;
    }
    // Every timer due now ticks once (periods that passed meanwhile give one tick).
    std::vector<std::pair<TimerState, const TTimer*>> due;
    for (const auto& [timer, state] : timers_) {
        if (state.due <= now) due.emplace_back(state, timer);
    }
    std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) {
        return a.first.due != b.first.due ? a.first.due < b.first.due
                                          : a.first.order < b.first.order;
    });
    for (const auto& [state, timer] : due) {
        auto it = timers_.find(timer);
        // Skip a timer a handler stopped or restarted meanwhile.
        if (it == timers_.end() || it->second.order != state.order || it->second.due > now) {
            continue;
        }
        TTimer* t = const_cast<TTimer*>(timer);
        it->second.due = now + t->Interval();
        t->Tick();
    }
}

void THeadlessBackend::WaitForMessage() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (woken_) {
            woken_ = false;
            return;
        }
    }
    if (!timers_.empty()) {
        // Nothing else to do: let virtual time run to the next timer.
        std::uint64_t due = UINT64_MAX;
        for (const auto& entry : timers_) due = std::min(due, entry.second.due);
        std::lock_guard<std::mutex> lock(mutex_);
        if (clock_ < due) clock_ = due;
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (!wakeSignal_.wait_for(lock, idleTimeout_, [this] { return woken_; })) {
        throw std::runtime_error(
            "headless message loop idle: no timer runs and no other thread queued a call");
    }
    woken_ = false;
}

void THeadlessBackend::Wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    wakeSignal_.notify_all();
}

void THeadlessBackend::StartTimer(TTimer& timer) {
    std::uint64_t now;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        now = clock_;
    }
    timers_[&timer] = TimerState{now + timer.Interval(), timerStarts_++};
}

void THeadlessBackend::StopTimer(TTimer& timer) {
    timers_.erase(&timer);
}

bool THeadlessBackend::TimerRunning(const TTimer& timer) const {
    return timers_.count(&timer) != 0;
}

DWORD THeadlessBackend::TimerDue(const TTimer& timer) const {
    auto it = timers_.find(&timer);
    return it == timers_.end() ? 0 : static_cast<DWORD>(it->second.due);
}

// Keyboard.

void THeadlessBackend::SetKeyDown(int virtualKey, bool down) {
    keys_[virtualKey & 0xFF] = down ? 0x80 : 0x00;
}

void THeadlessBackend::ReleaseAllKeys() {
    std::memset(keys_, 0, sizeof keys_);
}

bool THeadlessBackend::ReadKeyboardState(BYTE (&state)[256]) {
    std::memcpy(state, keys_, sizeof keys_);
    return true;
}

// Message boxes and dialogs.

void THeadlessBackend::AnswerMessageBox(int answer) {
    answers_.push_back(answer);
}

void THeadlessBackend::ClearMessageBoxes() {
    boxes_.clear();
    exceptions_.clear();
}

int THeadlessBackend::DefaultAnswer(UINT flags) {
    static const std::vector<int> kButtons[] = {
        {IDOK},                        // MB_OK
        {IDOK, IDCANCEL},              // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},  // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},       // MB_YESNOCANCEL
        {IDYES, IDNO},                 // MB_YESNO
        {IDRETRY, IDCANCEL},           // MB_RETRYCANCEL
        {IDCANCEL, 10, 11},            // MB_CANCELTRYCONTINUE: IDTRYAGAIN, IDCONTINUE
    };
    unsigned type = flags & MB_TYPEMASK;
    if (type >= sizeof kButtons / sizeof kButtons[0]) type = 0;
    const auto& buttons = kButtons[type];
    unsigned index = (flags & MB_DEFMASK) >> 8;
    if (index >= buttons.size()) index = 0;
    return buttons[index];
}

int THeadlessBackend::MessageBox(TForm* owner, const std::string& text, const std::string& caption,
                                 UINT flags) {
    TMessageBoxRecord box;
    box.owner = owner;
    box.text = text;
    box.caption = caption;
    box.flags = flags;
    std::size_t index = boxes_.size();
    boxes_.push_back(box);
    int answer = 0;
    if (OnMessageBox) answer = OnMessageBox(box);
    if (answer == 0 && !answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    if (answer == 0) answer = DefaultAnswer(flags);
    boxes_[index].answer = answer;
    return answer;
}

void THeadlessBackend::ShowException(TForm* owner, const std::string& message,
                                     const std::string& title) {
    exceptions_.push_back(message);
    TBackend::ShowException(owner, message, title);
}

void THeadlessBackend::AnswerFileDialog(std::optional<std::string> fileName) {
    fileAnswers_.push_back(std::move(fileName));
}

bool THeadlessBackend::ExecuteOpenDialog(TForm* owner, TOpenDialog& dialog) {
    TFileDialogRecord record;
    record.owner = owner;
    record.filter = dialog.Filter();
    record.fileName = dialog.FileName();
    record.initialDir = dialog.InitialDir();
    if (!fileAnswers_.empty()) {
        record.result = fileAnswers_.front();
        fileAnswers_.pop_front();
    }
    dialogs_.push_back(record);
    if (!record.result) return false;
    dialog.SetFileName(*record.result);
    return true;
}

// Cursor, text, device notifications.

HCURSOR THeadlessBackend::LoadSystemCursor(LPCSTR id) {
    return reinterpret_cast<HCURSOR>(reinterpret_cast<ULONG_PTR>(id));
}

int THeadlessBackend::CursorId(HCURSOR cursor) {
    return static_cast<int>(reinterpret_cast<ULONG_PTR>(cursor));
}

HCURSOR THeadlessBackend::SetCurrentCursor(HCURSOR cursor) {
    HCURSOR previous = cursor_;
    cursor_ = cursor;
    cursorHistory_.push_back(cursor);
    return previous;
}

TSize THeadlessBackend::MeasureText(const TFont& font, const std::string& text) {
    return FixedPitchTextExtent(font, text);
}

HDEVNOTIFY THeadlessBackend::RegisterDeviceInterfaceNotification(TForm& form,
                                                                 const GUID& interfaceClass) {
    TDeviceNotificationRecord record;
    record.form = &form;
    record.interfaceClass = interfaceClass;
    record.handle = reinterpret_cast<HDEVNOTIFY>(static_cast<ULONG_PTR>(notifications_.size() + 1));
    notifications_.push_back(record);
    return record.handle;
}

}  // namespace ui
