// Up-down controls (msctls_updown32). An arrow click (mouse, or the arrow keys in the
// associated edit) arrives as UDN_DELTAPOS: the peer hands it to TUpDown::UserClick, which
// asks OnChanging, moves the position within Min..Max (wrapping only when Wrap is set) and
// writes the associate's text, and refuses the native move; the framework's new Position then
// comes back through Changed. No UDS_SETBUDDYINT and no UDS_ALIGNRIGHT: the framework writes
// the associate itself and the bounds given are final.
#include "ui/win32/Peers.h"

namespace ui::win32 {
namespace {

class TUpDownPeer : public TWin32Peer {
  public:
    explicit TUpDownPeer(TUpDown& upDown) : TWin32Peer(upDown), upDown_(upDown) {
        CreateHandle(UPDOWN_CLASSA, UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0);
        ApplyState(TProperty::Range);
        ApplyStyle();
    }

    bool Notify(NMHDR& header, LRESULT& result) override {
        if (header.code != UDN_DELTAPOS) return false;
        auto& change = reinterpret_cast<NMUPDOWN&>(header);
        if (change.iDelta != 0) upDown_.UserClick(change.iDelta > 0 ? btNext : btPrev);
        result = TRUE;  // the control itself never moves
        ApplyState(TProperty::Position);
        return true;
    }

  protected:
    void ApplyStyle() override {
        // The associate (its arrow keys step the control) when its window exists.
        HWND buddy = nullptr;
        if (TEdit* edit = upDown_.Associate()) {
            if (auto* peer = static_cast<TWin32Peer*>(edit->Peer())) buddy = peer->Handle();
        }
        if (reinterpret_cast<HWND>(SendMessageA(Handle(), UDM_GETBUDDY, 0, 0)) != buddy) {
            SendMessageA(Handle(), UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy), 0);
        }
    }

    void ApplyState(TProperty what) override {
        if (what == TProperty::Range) {
            SendMessageA(Handle(), UDM_SETRANGE32, static_cast<WPARAM>(upDown_.Min()),
                         upDown_.Max());
        }
        if (what == TProperty::Range || what == TProperty::Position) {
            SendMessageA(Handle(), UDM_SETPOS32, 0, upDown_.Position());
        }
    }

  private:
    TUpDown& upDown_;
};

}  // namespace

std::unique_ptr<TPeer> CreateUpDownPeer(TUpDown& upDown) {
    return std::make_unique<TUpDownPeer>(upDown);
}

}  // namespace ui::win32
