// One-line edits. What the user types (EN_CHANGE not caused by the peer itself) goes to
// TEdit::UserSetText as the whole new text; if the framework keeps another text (ignored, or
// changed by a handler) the native edit shows that one.
#include "ui/win32/Peers.h"

namespace ui::win32 {
namespace {

class TEditPeer : public TWin32Peer {
  public:
    explicit TEditPeer(TEdit& edit) : TWin32Peer(edit), edit_(edit) {
        CreateHandle(WC_EDITA, ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
        // No length limit of the control's own (the default is 32767 characters).
        SendMessageA(Handle(), EM_SETLIMITTEXT, 0, 0);
        ApplyStyle();
    }

    void Command(WORD code) override {
        if (code != EN_CHANGE || updating_) return;
        edit_.UserSetText(WindowText(Handle()));
        ApplyText();
    }

  protected:
    void ApplyStyle() override {
        SendMessageA(Handle(), EM_SETREADONLY, edit_.ReadOnly() ? TRUE : FALSE, 0);
    }

  private:
    TEdit& edit_;
};

}  // namespace

std::unique_ptr<TPeer> CreateEditPeer(TEdit& edit) {
    return std::make_unique<TEditPeer>(edit);
}

}  // namespace ui::win32
