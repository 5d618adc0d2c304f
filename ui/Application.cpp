#include "ui/Application.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "ui/Backend.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace ui {

namespace {

// The program file's name without folder and extension.
std::string ProgramName() {
    std::string path;
#ifdef _WIN32
    char buffer[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    path.assign(buffer, length);
#else
    char buffer[4096] = {};
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0) path.assign(buffer, static_cast<std::size_t>(length));
#endif
    std::size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos) path.erase(0, slash + 1);
    std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && dot > 0) path.erase(dot);
    return path;
}

TApplication theApplication;

}  // namespace

TApplication* const Application = &theApplication;

TApplication::TApplication() : title_(ProgramName()) {}

TApplication::~TApplication() {
    Finalize();
}

void TApplication::Initialize(std::unique_ptr<TBackend> backend) {
    if (!backend) throw std::invalid_argument("TApplication::Initialize: no back end");
    if (backend_) Finalize();
    backend_ = std::move(backend);
    terminated_ = false;
    TWindowThread::Reset();
    TWindowThread::Attach();
    TBackend* raw = backend_.get();
    TWindowThread::SetWakeHook([raw] { raw->Wake(); });
    SetExceptionDisplay([this](const char* message) { ShowExceptionMessage(message); });
    backend_->TitleChanged(title_);
}

void TApplication::Finalize() {
    DestroyForms();
    if (backend_) {
        TWindowThread::Shutdown();
        TWindowThread::SetWakeHook(nullptr);
        SetExceptionDisplay(nullptr);
    }
    backend_.reset();
    pendingPeers_.clear();
    terminated_ = false;
}

void TApplication::AdoptForm(TForm* form) {
    forms_.emplace_back(form);
    if (!mainForm_) mainForm_ = form;
    form->CreateWindowPeers();
    Guarded([form] { form->DoCreate(); });
}

void TApplication::DestroyForms() {
    while (!forms_.empty()) {
        std::unique_ptr<TForm> form = std::move(forms_.back());
        forms_.pop_back();
        Guarded([&form] { form->DoDestroy(); });
        if (mainForm_ == form.get()) mainForm_ = nullptr;
        form.reset();
    }
    mainForm_ = nullptr;
}

void TApplication::Run() {
    if (!backend_) throw std::logic_error("TApplication::Run: not initialised");
    if (mainForm_ && !mainForm_->Visible()) {
        TForm* form = mainForm_;
        Guarded([form] { form->Show(); });
    }
    while (!terminated_) {
        ProcessMessages();
        if (terminated_) break;
        backend_->WaitForMessage();
    }
    DestroyForms();
}

void TApplication::CreatePendingPeers() {
    std::vector<TControl*> pending;
    pending.swap(pendingPeers_);
    for (TControl* control : pending) control->HandleNeeded();
}

void TApplication::ProcessMessages() {
    CreatePendingPeers();
    if (backend_) backend_->DispatchPending();
    TWindowThread::RunPending();
}

void TApplication::Terminate() {
    terminated_ = true;
    if (backend_) backend_->Wake();
}

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    if (backend_) backend_->TitleChanged(title_);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    return MessageBox(mainForm_, text, caption, flags);
}

int TApplication::MessageBox(TForm* owner, const std::string& text, const std::string& caption,
                             UINT flags) {
    if (!backend_) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return 0;
    }
    return backend_->MessageBox(owner, text, caption, flags);
}

void TApplication::ShowException(const std::exception& e) {
    ShowExceptionMessage(e.what());
}

void TApplication::ShowException(std::exception_ptr error) {
    if (!error) return;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        ShowExceptionMessage(e.what());
    } catch (...) {
        ShowExceptionMessage("");
    }
}

void TApplication::HandleException() {
    try {
        ShowException(std::current_exception());
    } catch (...) {
        // The display itself failed: nothing more can be shown.
    }
}

void TApplication::ShowExceptionMessage(const std::string& message) {
    if (!backend_) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return;
    }
    backend_->ShowException(mainForm_, message, title_);
}

bool Guarded(const std::function<void()>& fn) {
    try {
        fn();
        return true;
    } catch (...) {
        Application->HandleException();
        return false;
    }
}

DWORD TickCount() {
    if (TBackend* backend = Application->Backend()) return backend->TickCount();
    using namespace std::chrono;
    return static_cast<DWORD>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepMs(DWORD ms) {
    if (TBackend* backend = Application->Backend()) {
        backend->SleepMs(ms);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

HCURSOR LoadSystemCursor(LPCSTR id) {
    TBackend* backend = Application->Backend();
    return backend ? backend->LoadSystemCursor(id) : nullptr;
}

HCURSOR SetCurrentCursor(HCURSOR cursor) {
    TBackend* backend = Application->Backend();
    return backend ? backend->SetCurrentCursor(cursor) : nullptr;
}

bool ReadKeyboardState(BYTE (&state)[256]) {
    std::memset(state, 0, sizeof state);
    TBackend* backend = Application->Backend();
    return backend ? backend->ReadKeyboardState(state) : false;
}

}  // namespace ui
