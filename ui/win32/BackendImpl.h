// The Win32 back end: real windows and common controls, the thread's message queue, window
// timers, MessageBoxA, GetOpenFileNameA and the system services. It lives on the window
// thread (the thread that creates it); only Wake and TickCount may be called from others.
//
// One file per concern: Backend.cpp (peer factory, device notifications, the application
// window with the title),
// MessageLoop.cpp (dispatch, wait, wake), Timers.cpp, Dialogs.cpp (message boxes, file-open
// dialog), SystemServices.cpp (cursor, keyboard, ticks, sleep, text measuring), Fonts.cpp,
// WindowClasses.cpp; the peers: Peer.cpp (what every control shares), FormPeer.cpp and one
// file per control kind (LabelPeer.cpp, ButtonPeer.cpp, ... PagePeers.cpp for page control
// and tab sheets).
#pragma once

#include <map>

#include "ui/Backend.h"
#include "ui/Forms.h"
#include "ui/win32/Peer.h"

namespace ui::win32 {

// Posted to the utility window by Wake: run the calls queued for the window thread.
inline constexpr UINT kWakeMessage = WM_APP + 0x51;
// Posted to the application window when it became active: pass the activation on to the form
// (or the dialog of a form) that the user was working with.
inline constexpr UINT kPassActivationMessage = WM_APP + 0x52;
// Posted to a memo's edit control by its peer: bring the lines added since the control's last
// update into it.
inline constexpr UINT kFlushLinesMessage = WM_APP + 0x53;

class TWin32Backend : public TBackend {
  public:
    TWin32Backend();
    ~TWin32Backend() override;

    const char* Name() const override { return "win32"; }
    std::unique_ptr<TPeer> CreatePeer(TControl& control) override;

    void DispatchPending() override;
    void WaitForMessage() override;
    void Wake() override;

    void StartTimer(TTimer& timer) override;
    void StopTimer(TTimer& timer) override;
    // WM_TIMER of the utility window.
    void TimerMessage(UINT_PTR id);

    int MessageBox(TForm* owner, const std::string& text, const std::string& caption,
                   UINT flags) override;
    bool ExecuteOpenDialog(TForm* owner, TOpenDialog& dialog) override;
    void TitleChanged(const std::string& title) override;

    HCURSOR LoadSystemCursor(LPCSTR id) override;
    HCURSOR SetCurrentCursor(HCURSOR cursor) override;
    bool ReadKeyboardState(BYTE (&state)[256]) override;
    DWORD TickCount() override;
    void SleepMs(DWORD ms) override;
    TSize MeasureText(const TFont& font, const std::string& text) override;
    HDEVNOTIFY RegisterDeviceInterfaceNotification(TForm& form,
                                                   const GUID& interfaceClass) override;

    // The application window (kApplicationClass): zero-sized, captioned with the title,
    // shown with the first form that shows and hidden when the main form hides.
    HWND ApplicationWindow() const { return application_; }

  private:
    HWND utility_ = nullptr;      // message-only window: timers, wake-ups
    HWND application_ = nullptr;  // owner of the forms, carries the task-bar button
    HDC measureDc_ = nullptr;
    std::map<UINT_PTR, TTimer*> timers_;  // running timers by their current id
    UINT_PTR nextTimerId_ = 1;
};

// The native window of a form (null: none), for owners of dialogs.
HWND FormHandle(TForm* form);

}  // namespace ui::win32
