// Paint boxes: a window of their own that paints only the parent's background colour and
// reports a left click (button pressed and released over it) as TPaintBox::UserClick. Labels
// over a paint box let clicks through (a STATIC without SS_NOTIFY is transparent to hit
// testing), so a click on such a label is a click on the paint box.
#include "ui/win32/Peers.h"
#include "ui/win32/WindowClasses.h"

namespace ui::win32 {
namespace {

class TPaintBoxPeer : public TWin32Peer {
  public:
    explicit TPaintBoxPeer(TPaintBox& paintBox) : TWin32Peer(paintBox), paintBox_(paintBox) {
        CreateHandle(kPaintBoxClass, 0, 0);
    }

    void MouseDown() {
        pressed_ = true;
        SetCapture(Handle());
    }

    void MouseUp(POINT at) {
        if (!pressed_) return;
        pressed_ = false;
        ReleaseCapture();
        RECT client;
        GetClientRect(Handle(), &client);
        if (PtInRect(&client, at)) paintBox_.UserClick();
    }

    void CaptureLost() { pressed_ = false; }

  protected:
    // A paint box has no text.
    void ApplyText() override {}

  private:
    TPaintBox& paintBox_;
    bool pressed_ = false;
};

}  // namespace

LRESULT CALLBACK PaintBoxWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* peer = static_cast<TPaintBoxPeer*>(TWin32Peer::FromHandle(hwnd));
    if (peer) {
        switch (msg) {
            case WM_LBUTTONDOWN:
                peer->MouseDown();
                return 0;
            case WM_LBUTTONUP:
                peer->MouseUp(
                    POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
                return 0;
            case WM_CAPTURECHANGED:
                peer->CaptureLost();
                return 0;
            default:
                break;
        }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

std::unique_ptr<TPeer> CreatePaintBoxPeer(TPaintBox& paintBox) {
    return std::make_unique<TPaintBoxPeer>(paintBox);
}

}  // namespace ui::win32
