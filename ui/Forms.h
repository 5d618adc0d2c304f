// Forms (top-level windows) and the components without a visible area: timers and the
// file-open dialog.
#pragma once

#include <string>

#include "ui/Controls.h"

namespace ui {

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;

enum TFormBorderStyle { bsSizeable, bsDialog };
enum TPosition { poDesigned, poScreenCenter };
// Border icons (bit set).
constexpr unsigned biSystemMenu = 1;
constexpr unsigned biMinimize = 2;
constexpr unsigned biMaximize = 4;

// A top-level window. Its Left/Top/Width/Height are its client area's size (ClientWidth,
// ClientHeight); the back end adds the frame and places it (poScreenCenter: centred on the
// desktop when first shown).
//
// Life of a form made by TApplication::CreateForm: the constructor builds the controls; then
// the window and the controls' peers are created; then DoCreate (OnCreate); Show (DoShow /
// OnShow, then visible); Close (CloseQuery / OnCloseQuery, then DoClose / OnClose, then hidden;
// for the main form the application terminates); destroyed by the application when Run ends.
class TForm : public TWinControl {
  public:
    explicit TForm(TComponent* owner = nullptr);
    ~TForm() override;

    int ClientWidth() const { return Width(); }
    int ClientHeight() const { return Height(); }
    void SetClientWidth(int width) { SetWidth(width); }
    void SetClientHeight(int height) { SetHeight(height); }

    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle style);
    unsigned BorderIcons() const { return borderIcons_; }
    void SetBorderIcons(unsigned icons);
    TPosition Position() const { return position_; }
    void SetPosition(TPosition position);

    // The window's font (read with Font()), used by every control on it.
    void SetFont(const TFont& font);

    // The windowed control that has the keyboard focus (null: none).
    TWinControl* ActiveControl() const { return activeControl_; }

    // Becoming visible runs DoShow first (an exception escaping it goes to the standard error
    // display and the form shows all the same).
    void SetVisible(bool visible) override;

    // Asks the form to close: CloseQuery, then DoClose with caHide, then hides the form unless
    // the action became caNone; closing the main form terminates the application.
    void Close();
    virtual bool CloseQuery();

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TCloseQueryEvent OnCloseQuery;
    TCloseEvent OnClose;
    TNotifyEvent OnDestroy;

    // The form's message dispatch. The back end hands every window message of the form to
    // DeliverMessage, which calls WndProc (an exception escaping it goes to the standard error
    // display). TForm::WndProc does the framework's default processing (the back end's
    // DefaultHandler); an override calls it for the messages it does not fully handle itself.
    virtual void WndProc(TMessage& message);
    LRESULT DeliverMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void DeliverMessage(TMessage& message);
    // Sends a message straight to WndProc (exceptions reach the caller).
    LRESULT Perform(UINT msg, WPARAM wParam, LPARAM lParam);

    // Registers the window for WM_DEVICECHANGE notifications of a device interface class
    // (Windows: RegisterDeviceNotificationA with a 32-byte DEV_BROADCAST_DEVICEINTERFACE_A
    // filter, device type 5, the class GUID, empty name, flags DEVICE_NOTIFY_WINDOW_HANDLE).
    // Creates the window when needed. Returns the notification handle (null on failure);
    // it lasts as long as the window.
    HDEVNOTIFY RegisterDeviceInterfaceNotification(const GUID& interfaceClass);

    // Back end entry point: the user asked to close the window (title-bar close box).
    void UserClose();

    // Creates the window and the peers of every control on it (done by CreateForm and Show).
    void CreateWindowPeers();

  protected:
    virtual void DoCreate();
    virtual void DoShow();
    virtual void DoClose(TCloseAction& action);
    virtual void DoDestroy();

  private:
    friend class TApplication;
    friend class TWinControl;
    friend class TControl;
    void ControlGone(TControl* control);

    TFont font_;
    TFormBorderStyle borderStyle_ = bsSizeable;
    unsigned borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    TPosition position_ = poDesigned;
    TWinControl* activeControl_ = nullptr;
    bool destroying_ = false;
};

// A window timer: OnTimer runs on the window thread every Interval milliseconds while Enabled.
// Enabling a timer, and changing the interval of an enabled timer, starts a full period anew;
// setting the value a property already has changes nothing.
class TTimer : public TComponent {
  public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned interval);

    TNotifyEvent OnTimer;
    // Back end entry point: the period ended. Runs OnTimer when the timer is still enabled;
    // an exception escaping it goes to the standard error display.
    void Tick();

  private:
    void Restart();
    bool enabled_ = true;
    unsigned interval_ = 1000;
    bool running_ = false;
};

// The file-open dialog.
class TOpenDialog : public TComponent {
  public:
    explicit TOpenDialog(TComponent* owner);

    // "description|pattern|description|pattern...", for example "firmware file (*.dfu)|*.dfu".
    const std::string& Filter() const { return filter_; }
    void SetFilter(const std::string& filter) { filter_ = filter; }
    // Preset: the file name the dialog starts with; after Execute returned true: the chosen file.
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& fileName) { fileName_ = fileName; }
    const std::string& InitialDir() const { return initialDir_; }
    void SetInitialDir(const std::string& dir) { initialDir_ = dir; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title) { title_ = title; }

    // Shows the dialog, modal, owned by the owner's form (or the main form); false on cancel
    // (FileName then keeps its value).
    bool Execute();

  private:
    std::string filter_;
    std::string fileName_;
    std::string initialDir_;
    std::string title_;
};

}  // namespace ui
