// The application object (message loop, forms, message boxes, the standard error display)
// and the system services the program reaches through the framework, so that the headless
// back end can stand in for them: tick count and sleep, cursor, keyboard state.
//
// A program:
//     ui::Application->Initialize(ui::CreateWin32Backend());  // ui/Backend.h
//     ui::Application->CreateForm(MajorForm);   // TMajorForm* MajorForm; runs FormCreate
//     ui::Application->Run();                  // until the main form has closed
//
// Everything here runs on the window thread (the thread that called Initialize), except
// TickCount and SleepMs, which may be called from any thread.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "ui/Forms.h"
#include "ui/WindowThread.h"

namespace ui {

class TBackend;

class TApplication : public TObject {
  public:
    TApplication();
    ~TApplication() override;

    // Starts the framework on the calling thread (which becomes the window thread) with the
    // given back end: attaches the window-thread call queue, installs the back end's wake hook
    // and the standard error display. Finalize first if already initialised.
    void Initialize(std::unique_ptr<TBackend> backend);
    // Destroys the forms still alive, shuts the call queue down (waiting workers return false)
    // and drops the back end. Initialize may follow again (tests do).
    void Finalize();
    bool Initialized() const { return backend_ != nullptr; }
    TBackend* Backend() const { return backend_.get(); }

    // Creates a form of type T, stores it in reference, makes the first one the main form,
    // creates its window and runs its DoCreate / OnCreate. The application owns the form.
    template <class T>
    void CreateForm(T*& reference) {
        T* form = new T();
        reference = form;
        AdoptForm(form);
    }
    TForm* MainForm() const { return mainForm_; }

    // Shows the main form (if it is not visible) and runs the message loop until Terminate
    // (closing the main form terminates); then destroys the forms and returns.
    void Run();
    // Handles every message waiting now (timers that are due included) and every call queued
    // by another thread (TWindowThread), then returns. Controls made on a form whose window
    // exists get their peers here first.
    void ProcessMessages();
    void Terminate();
    bool Terminated() const { return terminated_; }

    // Caption of message boxes without one of their own and of the standard error display
    // (Windows: also the task-bar text). Until set: the program file's name without extension.
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);

    // A modal message box; returns the answer (IDOK, IDYES, IDNO, ...). Without an owner
    // given, the main form owns it. flags: MB_ buttons | MB_ICON... | MB_DEFBUTTON...
    int MessageBox(const std::string& text, const std::string& caption, UINT flags);
    int MessageBox(TForm* owner, const std::string& text, const std::string& caption, UINT flags);

    // The standard error display: an error box (MB_OK | MB_ICONERROR) owned by the main form
    // with the exception's message as text and Title as caption. An exception that is not
    // derived from std::exception shows an empty text.
    void ShowException(const std::exception& e);
    void ShowException(std::exception_ptr error);
    // Shows the exception being handled; for use inside a catch block:
    //     catch (...) { ui::Application->HandleException(); }
    void HandleException();

  private:
    friend class TControl;
    void AdoptForm(TForm* form);
    void CreatePendingPeers();
    std::vector<TControl*> pendingPeers_;  // made after their form's window
    void DestroyForms();
    void ShowExceptionMessage(const std::string& message);

    std::unique_ptr<TBackend> backend_;
    std::vector<std::unique_ptr<TForm>> forms_;
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
    std::string title_;
};

// The one application object (never null).
extern TApplication* const Application;

// Runs fn as a back end entry point does: an exception escaping it goes to the standard error
// display. Returns false when fn threw.
bool Guarded(const std::function<void()>& fn);

// Milliseconds since an arbitrary start, wrapping at 2^32 (Windows: GetTickCount; headless:
// the virtual clock).
DWORD TickCount();
// Waits ms milliseconds without processing messages (Windows: Sleep; headless: advances the
// virtual clock).
void SleepMs(DWORD ms);

// Cursors. LoadSystemCursor(IDC_WAIT) gives the wait cursor's handle; SetCurrentCursor shows a
// cursor and returns the handle of the one shown before.
HCURSOR LoadSystemCursor(LPCSTR id);
HCURSOR SetCurrentCursor(HCURSOR cursor);

// The state of all 256 virtual keys; high bit of a byte = key down (Windows:
// GetKeyboardState). Returns false on failure (the bytes are then zero).
bool ReadKeyboardState(BYTE (&state)[256]);

}  // namespace ui
