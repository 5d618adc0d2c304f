// Labels: a STATIC control. No prefix processing, so that "&" in a file path shows as it is;
// without word wrap a left-aligned label stays on one line.
#include "ui/win32/Peers.h"

namespace ui::win32 {
namespace {

class TLabelPeer : public TWin32Peer {
  public:
    explicit TLabelPeer(TLabel& label) : TWin32Peer(label), label_(label) {
        CreateHandle(WC_STATICA, Style(), 0);
    }

  protected:
    void ApplyStyle() override {
        LONG_PTR style = GetWindowLongPtrA(Handle(), GWL_STYLE) & ~LONG_PTR{SS_TYPEMASK};
        SetWindowLongPtrA(Handle(), GWL_STYLE, style | Style());
        InvalidateRect(Handle(), nullptr, TRUE);
    }

  private:
    DWORD Style() const {
        DWORD style = SS_NOPREFIX;
        switch (label_.Alignment()) {
            case taRightJustify:
                return style | SS_RIGHT;
            case taCenter:
                return style | SS_CENTER;
            default:
                return style | (label_.WordWrap() ? SS_LEFT : SS_LEFTNOWORDWRAP);
        }
    }

    TLabel& label_;
};

}  // namespace

std::unique_ptr<TPeer> CreateLabelPeer(TLabel& label) {
    return std::make_unique<TLabelPeer>(label);
}

}  // namespace ui::win32
