// The peer of a form: a top-level window owned by the application window, with a fixed
// dialog frame (bsDialog) or a sizeable one, sized so that its client area is the form's
// ClientWidth x ClientHeight.
#pragma once

#include <vector>

#include "ui/Forms.h"
#include "ui/win32/Peer.h"

namespace ui::win32 {

class TFormPeer : public TWin32Peer {
  public:
    // owner: the application window, which carries the task-bar button for the form.
    TFormPeer(TForm& form, HWND owner);
    ~TFormPeer() override;

    TForm& Form() const { return form_; }
    void DefaultHandler(TMessage& message) override;
    // RegisterDeviceNotificationA for a device interface class; withdrawn with the window.
    HDEVNOTIFY RegisterDeviceInterface(const GUID& interfaceClass);

  protected:
    void ApplyBounds() override;
    void ApplyVisible() override;
    void ApplyStyle() override;

  private:
    DWORD Style() const;
    DWORD ExStyle() const;
    // The window rectangle for the client size, at the designed or the centred place.
    RECT WindowRect() const;
    void RestoreFocus();

    TForm& form_;
    HWND owner_;
    bool shown_ = false;
    HWND lastFocus_ = nullptr;
    std::vector<HDEVNOTIFY> notifications_;
};

}  // namespace ui::win32
