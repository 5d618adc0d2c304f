// The interface a back end of the window framework implements, and its contract.
//
// Two back ends exist: Win32 (ui/win32, library qv_ui_win32, Windows only: real windows and
// controls) and headless (ui/headless, in qv_ui: records everything for tests).
//
// THE CONTRACT
//
// 1. Properties live in the portable objects (ui/Controls.h, ui/Forms.h). A back end keeps no
//    copy it relies on: it reads the control's getters whenever it needs a value.
//
// 2. Peers. CreatePeer(control) is called once per control, parents before children (the
//    parent's peer exists; the form's peer is created first), after the control is fully
//    constructed: when the form is created by TApplication::CreateForm (before OnCreate), when
//    a form is shown, or by TControl::HandleNeeded. The new peer reads every property it
//    shows from the control. Afterwards the control calls peer->Changed(what) after each
//    change of a property (ui/Controls.h, TProperty says which getters to read again);
//    Changed may come for a value the native control already has (for example the text a user
//    just typed): compare before writing if writing would disturb the native control.
//    ItemsChanged tells about TListBox::Items / TMemo::Lines changes; Repaint is Update();
//    Focus is SetFocus(). The control destroys its peer (children before parents) when it is
//    destroyed; a peer must not call back into its control from its destructor.
//
//    Which properties a peer shows, by kind (Kind(), then static_cast to the class):
//    - Form (TForm): Caption, ClientWidth/ClientHeight (client area; the peer adds the frame),
//      BorderStyle (bsDialog: fixed dialog frame, not resizable), BorderIcons (biSystemMenu
//      only: close box without minimise and maximise boxes), Position (poScreenCenter: centred
//      on the desktop when first shown), Font, Visible. Controls use the form's Font.
//    - Label: Caption, Alignment, WordWrap (without it, one line; no auto-size). A label is
//      visible when Showing().
//    - ListBox: Items, ItemIndex (-1 none), ItemHeight; single selection.
//    - Button: Caption. - PaintBox: nothing is painted; only clicks.
//    - Edit (TEdit; TLabeledEdit's label is a separate Label peer): Text, ReadOnly.
//    - UpDown: Min, Max, Position, Increment, Wrap, Associate (the framework writes the
//      associate's text itself: no UDS_SETBUDDYINT, no UDS_ALIGNRIGHT: the bounds given are
//      final).
//    - Memo: Lines, ReadOnly, WordWrap, ScrollBars, BorderStyle, Color (TColor: a system
//      colour index with the high bit set), TabStop. A peer may hold back lines added at the
//      end until the window thread's current turn has ended (the Win32 peer does: one update
//      of the control for all of them, none in the middle of a handler); every other change
//      is shown at once, with the lines held back.
//    - ProgressBar: Min, Max, Position, Smooth, Step.
//    - PageControl / TabSheet: the tabs are the TabSheets in page order with their Caption;
//      ActivePage is the page shown; a TabSheet holds its controls and shows only while active
//      (Showing()).
//    - All: Bounds (relative to the parent's client area; a control on a TabSheet is placed
//      relative to the sheet's client area), Visible/Showing, Enabled, TabOrder and TabStop of
//      windowed controls.
//
// 3. User actions come back as calls on the portable objects, on the window thread, never as
//    direct property writes: TButton::UserClick, TPaintBox::UserClick, TListBox::UserSelect,
//    TEdit::UserSetText (the whole new text), TUpDown::UserClick (the Win32 peer answers the
//    up-down's UDN_DELTAPOS by calling it and refusing the native move; the framework then
//    pushes the new Position), TPageControl::UserCanChange + UserChanged (or UserSelectPage),
//    TWinControl::UserFocused, TForm::UserClose (title-bar close), TForm::DeliverMessage (every
//    window message of a form: the form's WndProc runs first and its default, TForm::WndProc,
//    calls DefaultHandler below), TTimer::Tick. These entry points catch exceptions from
//    handlers and show them with the standard error display; nothing is thrown back into the
//    back end, so no exception crosses a native window procedure.
//
// 4. The message loop. TApplication::ProcessMessages calls DispatchPending and then
//    TWindowThread::RunPending; TApplication::Run repeats ProcessMessages and WaitForMessage
//    until terminated. Wake may be called from any thread (it is the TWindowThread wake hook):
//    it must make a WaitForMessage that is blocked, or the next one, return.
//
// 5. Timers: StartTimer(timer) (re)starts a full period of timer.Interval() ms; StopTimer ends
//    it. When a period ends the back end calls timer.Tick() on the window thread between
//    other messages (as WM_TIMER does: periods that passed while the thread was busy give one
//    tick). Timers keep firing until StopTimer.
//
// 6. Modal dialogs (MessageBox, ExecuteOpenDialog) run modally; the Win32 ones keep
//    dispatching messages (timers, queued calls) while open, as Windows does.
#pragma once

#include <memory>
#include <string>

#include "ui/Classes.h"
#include "ui/Controls.h"

namespace ui {

class TForm;
class TTimer;
class TOpenDialog;

// The native counterpart of one control or form.
class TPeer {
  public:
    virtual ~TPeer() = default;
    virtual void Changed(TProperty what) = 0;
    // TListBox::Items or TMemo::Lines changed.
    virtual void ItemsChanged(const TStringsChange& change) { (void)change; }
    // Repaint now (TControl::Update).
    virtual void Repaint() {}
    // Take the keyboard focus (TWinControl::SetFocus).
    virtual void Focus() {}
    // Forms: the default processing of a window message (Win32: the back end's own handling,
    // then DefWindowProcA). Sets message.Result.
    virtual void DefaultHandler(TMessage& message) { message.Result = 0; }
};

class TBackend {
  public:
    virtual ~TBackend() = default;
    virtual const char* Name() const = 0;

    virtual std::unique_ptr<TPeer> CreatePeer(TControl& control) = 0;

    // Message loop (window thread).
    virtual void DispatchPending() = 0;
    virtual void WaitForMessage() = 0;
    virtual void Wake() = 0;  // any thread

    virtual void StartTimer(TTimer& timer) = 0;
    virtual void StopTimer(TTimer& timer) = 0;

    // A modal message box owned by owner (null: no owner); returns IDOK, IDYES, ...
    virtual int MessageBox(TForm* owner, const std::string& text, const std::string& caption,
                           UINT flags) = 0;
    // The file-open dialog: true and dialog.SetFileName(chosen) on OK, false on cancel.
    virtual bool ExecuteOpenDialog(TForm* owner, TOpenDialog& dialog) = 0;

    // The standard error display (TApplication::ShowException): by default an error box.
    virtual void ShowException(TForm* owner, const std::string& message, const std::string& title) {
        MessageBox(owner, message, title, MB_OK | MB_ICONERROR);
    }

    // Application title changed (Windows: the task-bar text).
    virtual void TitleChanged(const std::string& title) { (void)title; }

    virtual HCURSOR LoadSystemCursor(LPCSTR id) = 0;
    virtual HCURSOR SetCurrentCursor(HCURSOR cursor) = 0;  // returns the previous cursor
    virtual bool ReadKeyboardState(BYTE (&state)[256]) = 0;
    virtual DWORD TickCount() = 0;  // any thread
    virtual void SleepMs(DWORD ms) = 0;

    // Size of one line of text in font (Win32: GetTextExtentPoint32A with the font selected).
    virtual TSize MeasureText(const TFont& font, const std::string& text) = 0;

    // See TForm::RegisterDeviceInterfaceNotification (the form's peer exists).
    virtual HDEVNOTIFY RegisterDeviceInterfaceNotification(TForm& form,
                                                           const GUID& interfaceClass) = 0;
};

// The framework's fixed-pitch text metric, used by the headless back end and before any back end
// exists (described in ui/headless/Headless.h).
TSize FixedPitchTextExtent(const TFont& font, const std::string& text);

#ifdef _WIN32
// The Win32 back end (library qv_ui_win32).
std::unique_ptr<TBackend> CreateWin32Backend();
#endif

}  // namespace ui
