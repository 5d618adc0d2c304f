// Multi-line edits showing TMemo::Lines. The memo is a display: lines come from the program
// (the framework has no entry point for text typed into a memo).
//
// Lines added at the end are appended in place, so that a growing log does not rewrite the
// whole text each time, and the lines added during one turn of the window thread reach the
// control together, in one EM_REPLACESEL: an edit control with scroll bars is slow to update
// (under Wine each update sets its scroll bars four times at several ms each), and a handler
// that logs a reply and sends the next request must not wait for that between the two. The
// first line added posts a message to the control; the update runs when the thread
// dispatches it, after the handler has returned (also inside a modal loop such as a message
// box's). Any other change of the lines rewrites the whole text at once, pending lines
// included.
#include <string>

#include "ui/win32/BackendImpl.h"
#include "ui/win32/Peers.h"
#include "ui/win32/Win32.h"

namespace ui::win32 {
namespace {

constexpr UINT_PTR kMemoSubclassId = 1;

class TMemoPeer : public TWin32Peer {
  public:
    explicit TMemoPeer(TMemo& memo) : TWin32Peer(memo), memo_(memo) { Create(); }

    ~TMemoPeer() override {
        DestroyHandle();
        if (brush_) DeleteObject(brush_);
    }

    void ItemsChanged(const TStringsChange& change) override {
        const TStrings& lines = memo_.Lines();
        if (change.kind == TStringsChange::Inserted && change.index == lines.Count() - 1 &&
            change.index >= shown_) {
            // Lines shown_ .. Count() - 1 wait for the update; a flush is posted once.
            if (!flushPosted_) {
                flushPosted_ = PostMessageA(Handle(), kFlushLinesMessage, 0, 0) != FALSE;
                if (!flushPosted_) FlushLines();  // a full queue: at once rather than never
            }
        } else {
            ShowLines();
        }
    }

    unsigned long TextUpdates() const { return textUpdates_; }

    HBRUSH ControlColor(HDC dc) override {
        TColor color = memo_.Color();
        if (color & 0x80000000u) {
            // A system colour index with the high bit set.
            int index = static_cast<int>(color & 0xFFu);
            SetBkColor(dc, GetSysColor(index));
            return GetSysColorBrush(index);
        }
        if (!brush_ || brushColor_ != color) {
            if (brush_) DeleteObject(brush_);
            brush_ = CreateSolidBrush(color);
            brushColor_ = color;
        }
        SetBkColor(dc, color);
        return brush_;
    }

  protected:
    void ApplyStyle() override {
        // Scroll bars, border and word wrap are fixed at creation.
        DestroyHandle();
        Create();
    }

  private:
    void Create() {
        DWORD style = ES_MULTILINE | ES_AUTOVSCROLL;
        if (!memo_.WordWrap()) style |= ES_AUTOHSCROLL;
        if (memo_.ReadOnly()) style |= ES_READONLY;
        TScrollStyle bars = memo_.ScrollBars();
        if (bars == ssVertical || bars == ssBoth) style |= WS_VSCROLL;
        if (bars == ssHorizontal || bars == ssBoth) style |= WS_HSCROLL;
        CreateHandle(WC_EDITA, style, memo_.BorderStyle() == bsSingle ? WS_EX_CLIENTEDGE : 0);
        SetWindowSubclass(Handle(), LinesSubclass, kMemoSubclassId, 0);
        flushPosted_ = false;  // a message posted to an earlier control went with it
        SendMessageA(Handle(), EM_SETLIMITTEXT, 0, 0);
        ShowLines();
    }

    // Lines from..Count() - 1 as the control separates them (CR LF between lines).
    std::string JoinedLines(int from) const {
        std::string text;
        const TStrings& lines = memo_.Lines();
        for (int i = from; i < lines.Count(); ++i) {
            if (i > 0) text += "\r\n";
            text += lines[i];
        }
        return text;
    }

    void ShowLines() {
        const std::string text = JoinedLines(0);
        UpdateText([&] { SetWindowTextA(Handle(), text.c_str()); });
    }

    // The lines added since the last update, appended in one replacement of the empty
    // selection at the end.
    void FlushLines() {
        flushPosted_ = false;
        if (shown_ >= memo_.Lines().Count()) return;
        const std::string tail = JoinedLines(shown_);
        const int end = GetWindowTextLengthA(Handle());
        UpdateText([&] {
            SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(end), end);
            SendMessageA(Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(tail.c_str()));
        });
    }

    // One write of the control's text, after which it shows every line. A control that
    // nobody can see (the log lies below the window's client area) need not draw itself and
    // its scroll bars: it is without WS_VISIBLE for the write, as the default handling of
    // WM_SETREDRAW makes a window, and its text and scroll state change all the same. (Under
    // Wine, WM_SETREDRAW itself saved little when measured: tools/bench/wine_query_bench.sh.)
    template <class Write>
    void UpdateText(Write write) {
        HWND hwnd = Handle();
        const LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
        const bool unseen = (style & WS_VISIBLE) && !OnScreen();
        updating_ = true;
        if (unseen) SetWindowLongPtrA(hwnd, GWL_STYLE, style & ~WS_VISIBLE);
        write();
        if (unseen) SetWindowLongPtrA(hwnd, GWL_STYLE, style);
        updating_ = false;
        shown_ = memo_.Lines().Count();
        ++textUpdates_;
    }

    // Whether any part of the control can be on the screen: it is visible and every parent's
    // client area up to the top-level window leaves some of it uncovered.
    bool OnScreen() const {
        HWND hwnd = Handle();
        if (!IsWindowVisible(hwnd)) return false;
        RECT shown;
        GetWindowRect(hwnd, &shown);
        for (HWND child = hwnd; GetWindowLongPtrA(child, GWL_STYLE) & WS_CHILD;) {
            HWND parent = GetParent(child);
            if (!parent) break;
            RECT client;
            GetClientRect(parent, &client);
            MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&client), 2);
            if (!IntersectRect(&shown, &shown, &client)) return false;
            child = parent;
        }
        return true;
    }

    static LRESULT CALLBACK LinesSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR) {
        if (msg == kFlushLinesMessage) {
            if (auto* peer = static_cast<TMemoPeer*>(FromHandle(hwnd))) peer->FlushLines();
            return 0;
        }
        if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, LinesSubclass, kMemoSubclassId);
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }

    // The memo shows its lines, not the control's Text.
    void ApplyText() override {}

    TMemo& memo_;
    int shown_ = 0;  // the control shows Lines 0 .. shown_ - 1; the rest wait for a flush
    bool flushPosted_ = false;
    unsigned long textUpdates_ = 0;
    HBRUSH brush_ = nullptr;
    TColor brushColor_ = 0;
};

}  // namespace

std::unique_ptr<TPeer> CreateMemoPeer(TMemo& memo) {
    return std::make_unique<TMemoPeer>(memo);
}

}  // namespace ui::win32

namespace ui {

unsigned long MemoTextUpdates(const TMemo& memo) {
    auto* peer = static_cast<win32::TMemoPeer*>(memo.Peer());
    return peer ? peer->TextUpdates() : 0;
}

}  // namespace ui
