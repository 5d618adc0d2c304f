// Progress bars (msctls_progress32); PBS_SMOOTH can only be set at creation, so a change of
// Smooth re-creates the window.
#include "ui/win32/Peers.h"

namespace ui::win32 {
namespace {

class TProgressBarPeer : public TWin32Peer {
  public:
    explicit TProgressBarPeer(TProgressBar& bar) : TWin32Peer(bar), bar_(bar) { Create(); }

  protected:
    void ApplyStyle() override {
        bool smooth = (GetWindowLongPtrA(Handle(), GWL_STYLE) & PBS_SMOOTH) != 0;
        if (smooth != bar_.Smooth()) {
            DestroyHandle();
            Create();
        }
        SendMessageA(Handle(), PBM_SETSTEP, static_cast<WPARAM>(bar_.Step()), 0);
    }

    void ApplyState(TProperty what) override {
        if (what == TProperty::Range) {
            SendMessageA(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(bar_.Min()), bar_.Max());
        }
        if (what == TProperty::Range || what == TProperty::Position) {
            SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(bar_.Position()), 0);
        }
    }

  private:
    void Create() {
        CreateHandle(PROGRESS_CLASSA, bar_.Smooth() ? PBS_SMOOTH : 0, 0);
        SendMessageA(Handle(), PBM_SETSTEP, static_cast<WPARAM>(bar_.Step()), 0);
        ApplyState(TProperty::Range);
    }

    TProgressBar& bar_;
};

}  // namespace

std::unique_ptr<TPeer> CreateProgressBarPeer(TProgressBar& progressBar) {
    return std::make_unique<TProgressBarPeer>(progressBar);
}

}  // namespace ui::win32
