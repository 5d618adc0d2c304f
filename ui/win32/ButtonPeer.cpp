// Push buttons: BN_CLICKED (mouse, keyboard or BM_CLICK) becomes TButton::UserClick.
#include "ui/win32/Peers.h"

namespace ui::win32 {
namespace {

class TButtonPeer : public TWin32Peer {
  public:
    explicit TButtonPeer(TButton& button) : TWin32Peer(button), button_(button) {
        CreateHandle(WC_BUTTONA, BS_PUSHBUTTON, 0);
    }

    void Command(WORD code) override {
        if (code == BN_CLICKED) button_.UserClick();
    }

  private:
    TButton& button_;
};

}  // namespace

std::unique_ptr<TPeer> CreateButtonPeer(TButton& button) {
    return std::make_unique<TButtonPeer>(button);
}

}  // namespace ui::win32
