// The common part of every Win32 peer: one native window per control, the properties all
// kinds share (bounds, visibility, enabled state, text, font, tab stop and order) and the
// routing of the notifications a parent window receives from its children.
#pragma once

#include <windows.h>
// windows.h first.
#include <commctrl.h>

#include "ui/Backend.h"

namespace ui::win32 {

class TWin32Peer : public TPeer {
  public:
    explicit TWin32Peer(TControl& control) : control_(control) {}
    ~TWin32Peer() override;

    TControl& Control() const { return control_; }
    HWND Handle() const { return hwnd_; }
    // The window the control's children are created in (a tab control: itself; its pages
    // then create their own page windows inside it).
    virtual HWND ContainerHandle() const { return hwnd_; }

    void Changed(TProperty what) override;
    void Repaint() override;
    void Focus() override;

    // Notifications that arrive at the parent window: WM_COMMAND (the code), WM_NOTIFY and
    // WM_CTLCOLOR... (null: default colours). Called on the window thread.
    virtual void Command(WORD code) { (void)code; }
    virtual bool Notify(NMHDR& header, LRESULT& result) {
        (void)header;
        (void)result;
        return false;
    }
    virtual HBRUSH ControlColor(HDC dc) {
        (void)dc;
        return nullptr;
    }

    static TWin32Peer* FromHandle(HWND hwnd);
    // The native window a new child of control's parent goes into.
    static HWND ParentContainer(const TControl& control);

  protected:
    // Creates the native child window with the style bits the kind asks for plus those every
    // control shares (child, clip siblings, visible, disabled, tab stop), then sets the font.
    void CreateHandle(const char* className, DWORD style, DWORD exStyle);
    // Top-level windows and page windows set the handle themselves.
    void AdoptHandle(HWND hwnd);
    void DestroyHandle();

    // Whether the native window should be visible now (the control's own Visible; parents
    // and inactive pages hide their children natively).
    virtual bool VisibleNow() const { return control_.Visible(); }
    virtual void ApplyBounds();
    virtual void ApplyVisible();
    virtual void ApplyText();
    virtual void ApplyFont();
    // Style: the kind's own properties (default: nothing to do).
    virtual void ApplyStyle() {}
    // ItemIndex, ActivePage, Position, Range.
    virtual void ApplyState(TProperty what) { (void)what; }

    // Windowed controls report the focus to the framework.
    void GotFocus();
    static LRESULT CALLBACK FocusSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR data);

    // Set while the peer writes to its native control, so that the notifications this causes
    // (EN_CHANGE, ...) are not mistaken for user actions.
    bool updating_ = false;

  private:
    TControl& control_;
    HWND hwnd_ = nullptr;
};

// Puts the native children of parent into z-order = tab order (the order dialog navigation
// follows): windowed controls by TabOrder, then labels, then paint boxes at the bottom so
// that labels placed over a paint box stay visible.
// A peer that is being created is not yet known to its control: pass it as fresh/freshHandle.
void ArrangeChildren(const TWinControl& parent, const TControl* fresh = nullptr,
                     HWND freshHandle = nullptr);

// Routes a message from a child control to the child's peer. Returns true when it was a
// child notification (result then holds the answer, or is left for DefWindowProc when the
// peer has none: see the definition).
bool RouteChildMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

// Text of a native window.
std::string WindowText(HWND hwnd);

// The HFONT for a framework font (cached for the life of the back end).
HFONT FontHandle(const TFont& font);
void ReleaseFonts();

}  // namespace ui::win32
