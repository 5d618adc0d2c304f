// Page controls: a tab control (SysTabControl32) whose pages are child windows of their own
// (class QvPage) in the tab control's display area; only the active page is visible.
//
// A user switch arrives in two steps: TCN_SELCHANGING (answered by
// TPageControl::UserCanChange, which asks OnChanging; TRUE refuses) and TCN_SELCHANGE
// (TPageControl::UserChanged). Programmatic switches come back as Changed(ActivePage).
#include <stdexcept>
#include <string>

#include "ui/win32/Peers.h"
#include "ui/win32/WindowClasses.h"

namespace ui::win32 {
namespace {

class TTabSheetPeer;

class TPageControlPeer : public TWin32Peer {
  public:
    explicit TPageControlPeer(TPageControl& pages) : TWin32Peer(pages), pages_(pages) {
        // Control parent: dialog navigation walks into the active page.
        CreateHandle(WC_TABCONTROLA, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
        RebuildTabs();
    }

    // The tabs: one per page in page order, with the page's caption.
    void RebuildTabs() {
        updating_ = true;
        SendMessageA(Handle(), TCM_DELETEALLITEMS, 0, 0);
        for (int i = 0; i < pages_.PageCount(); ++i) {
            TCITEMA item{};
            item.mask = TCIF_TEXT;
            std::string caption = pages_.Pages(i)->Caption();
            item.pszText = caption.data();
            SendMessageA(Handle(), TCM_INSERTITEMA, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&item));
        }
        updating_ = false;
        ShowActivePage();
        PlacePages();
    }

    // The rectangle a page covers, in the tab control's client coordinates.
    RECT DisplayRect() const {
        RECT r;
        GetClientRect(Handle(), &r);
        SendMessageA(Handle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
        return r;
    }

    bool Notify(NMHDR& header, LRESULT& result) override {
        if (header.code == static_cast<UINT>(TCN_SELCHANGING)) {
            result = pages_.UserCanChange() ? FALSE : TRUE;
            return true;
        }
        if (header.code == static_cast<UINT>(TCN_SELCHANGE)) {
            pages_.UserChanged(static_cast<int>(SendMessageA(Handle(), TCM_GETCURSEL, 0, 0)));
            ShowActivePage();  // also when the framework did not follow the switch
            result = 0;
            return true;
        }
        return false;
    }

    void ShowActivePage();
    void PlacePages();

  protected:
    void ApplyBounds() override {
        TWin32Peer::ApplyBounds();
        PlacePages();
    }
    void ApplyFont() override {
        TWin32Peer::ApplyFont();
        PlacePages();  // the tabs' height follows the font
    }
    void ApplyState(TProperty what) override {
        if (what == TProperty::ActivePage) ShowActivePage();
    }

  private:
    TPageControl& pages_;
};

class TTabSheetPeer : public TWin32Peer {
  public:
    TTabSheetPeer(TTabSheet& sheet, TPageControlPeer& owner)
        : TWin32Peer(sheet), sheet_(sheet), owner_(owner) {
        RECT r = owner.DisplayRect();
        DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
        if (VisibleNow()) style |= WS_VISIBLE;
        if (!sheet.Enabled()) style |= WS_DISABLED;
        HWND hwnd = CreateWindowExA(WS_EX_CONTROLPARENT, kPageClass, "", style, r.left, r.top,
                                    r.right - r.left, r.bottom - r.top, owner.Handle(), nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        if (!hwnd) {
            throw std::runtime_error("cannot create the page window of '" + sheet.Name() +
                                     "' (error " + std::to_string(GetLastError()) + ")");
        }
        AdoptHandle(hwnd);
        ApplyFont();
        owner.RebuildTabs();
    }

    void Place() {
        RECT r = owner_.DisplayRect();
        SetWindowPos(Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void ShowIfActive() { ApplyVisible(); }

  protected:
    bool VisibleNow() const override {
        return sheet_.Visible() && sheet_.PageControl()->ActivePage() == &sheet_;
    }
    // A page always fills the display area of its tab control.
    void ApplyBounds() override { Place(); }
    // The caption is the tab's text.
    void ApplyText() override { owner_.RebuildTabs(); }

  private:
    TTabSheet& sheet_;
    TPageControlPeer& owner_;
};

void TPageControlPeer::ShowActivePage() {
    int active = pages_.ActivePageIndex();
    if (SendMessageA(Handle(), TCM_GETCURSEL, 0, 0) != active) {
        SendMessageA(Handle(), TCM_SETCURSEL, static_cast<WPARAM>(active), 0);
    }
    // Hide the old page before showing the new one: no moment with two pages on screen.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < pages_.PageCount(); ++i) {
            auto* peer = static_cast<TTabSheetPeer*>(pages_.Pages(i)->Peer());
            if (peer && (i == active) == (pass == 1)) peer->ShowIfActive();
        }
    }
}

void TPageControlPeer::PlacePages() {
    for (int i = 0; i < pages_.PageCount(); ++i) {
        if (auto* peer = static_cast<TTabSheetPeer*>(pages_.Pages(i)->Peer())) peer->Place();
    }
}

}  // namespace

LRESULT CALLBACK PageWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (RouteChildMessage(hwnd, msg, wParam, lParam, result)) return result;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

std::unique_ptr<TPeer> CreatePageControlPeer(TPageControl& pageControl) {
    return std::make_unique<TPageControlPeer>(pageControl);
}

std::unique_ptr<TPeer> CreateTabSheetPeer(TTabSheet& sheet) {
    auto* owner = static_cast<TPageControlPeer*>(sheet.PageControl()->Peer());
    if (!owner) throw std::logic_error("tab sheet '" + sheet.Name() + "' has no page control");
    return std::make_unique<TTabSheetPeer>(sheet, *owner);
}

}  // namespace ui::win32
