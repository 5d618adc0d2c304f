// Single-selection list boxes. A selection by the user (LBN_SELCHANGE) becomes
// TListBox::UserSelect; the native selection then follows the control's ItemIndex again, so
// an ignored selection does not stay visible.
#include "ui/win32/Peers.h"

namespace ui::win32 {
namespace {

class TListBoxPeer : public TWin32Peer {
  public:
    explicit TListBoxPeer(TListBox& listBox) : TWin32Peer(listBox), listBox_(listBox) {
        CreateHandle(WC_LISTBOXA, LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_VSCROLL,
                     WS_EX_CLIENTEDGE);
        Refill();
        ApplyStyle();
    }

    void ItemsChanged(const TStringsChange& change) override {
        const TStrings& items = listBox_.Items();
        switch (change.kind) {
            case TStringsChange::Inserted:
                Send(LB_INSERTSTRING, change.index, items[change.index].c_str());
                break;
            case TStringsChange::Deleted:
                Send(LB_DELETESTRING, change.index, nullptr);
                break;
            case TStringsChange::Replaced:
                Send(LB_DELETESTRING, change.index, nullptr);
                Send(LB_INSERTSTRING, change.index, items[change.index].c_str());
                break;
            case TStringsChange::Cleared:
                Send(LB_RESETCONTENT, 0, nullptr);
                break;
        }
        ApplyState(TProperty::ItemIndex);
    }

    void Command(WORD code) override {
        if (code != LBN_SELCHANGE) return;
        listBox_.UserSelect(static_cast<int>(Send(LB_GETCURSEL, 0, nullptr)));
        ApplyState(TProperty::ItemIndex);
    }

  protected:
    void ApplyStyle() override { Send(LB_SETITEMHEIGHT, 0, nullptr, listBox_.ItemHeight()); }

    void ApplyState(TProperty what) override {
        if (what != TProperty::ItemIndex) return;
        if (Send(LB_GETCURSEL, 0, nullptr) != listBox_.ItemIndex()) {
            Send(LB_SETCURSEL, listBox_.ItemIndex(), nullptr);
        }
    }

  private:
    LRESULT Send(UINT msg, int index, const char* text, LPARAM value = 0) {
        LPARAM lParam = text ? reinterpret_cast<LPARAM>(text) : value;
        return SendMessageA(Handle(), msg, static_cast<WPARAM>(index), lParam);
    }

    void Refill() {
        Send(LB_RESETCONTENT, 0, nullptr);
        const TStrings& items = listBox_.Items();
        for (int i = 0; i < items.Count(); ++i) Send(LB_ADDSTRING, 0, items[i].c_str());
        ApplyState(TProperty::ItemIndex);
    }

    TListBox& listBox_;
};

}  // namespace

std::unique_ptr<TPeer> CreateListBoxPeer(TListBox& listBox) {
    return std::make_unique<TListBoxPeer>(listBox);
}

}  // namespace ui::win32
