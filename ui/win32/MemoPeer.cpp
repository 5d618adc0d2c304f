// Multi-line edits showing TMemo::Lines. The memo is a display: lines come from the program
// (the framework has no entry point for text typed into a memo). A line added at the end is
// appended in place, so that a growing log does not rewrite the whole text each time.
#include <string>

#include "ui/win32/Peers.h"

namespace ui::win32 {
namespace {

class TMemoPeer : public TWin32Peer {
  public:
    explicit TMemoPeer(TMemo& memo) : TWin32Peer(memo), memo_(memo) { Create(); }

    ~TMemoPeer() override {
        DestroyHandle();
        if (brush_) DeleteObject(brush_);
    }

    void ItemsChanged(const TStringsChange& change) override {
        const TStrings& lines = memo_.Lines();
        if (change.kind == TStringsChange::Inserted && change.index > 0 &&
            change.index == lines.Count() - 1) {
            std::string tail = "\r\n" + lines[change.index];
            int end = GetWindowTextLengthA(Handle());
            updating_ = true;
            SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(end), end);
            SendMessageA(Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(tail.c_str()));
            updating_ = false;
        } else {
            ShowLines();
        }
    }

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
        SendMessageA(Handle(), EM_SETLIMITTEXT, 0, 0);
        ShowLines();
    }

    void ShowLines() {
        std::string text;
        const TStrings& lines = memo_.Lines();
        for (int i = 0; i < lines.Count(); ++i) {
            if (i > 0) text += "\r\n";
            text += lines[i];
        }
        updating_ = true;
        SetWindowTextA(Handle(), text.c_str());
        updating_ = false;
    }

    // The memo shows its lines, not the control's Text.
    void ApplyText() override {}

    TMemo& memo_;
    HBRUSH brush_ = nullptr;
    TColor brushColor_ = 0;
};

}  // namespace

std::unique_ptr<TPeer> CreateMemoPeer(TMemo& memo) {
    return std::make_unique<TMemoPeer>(memo);
}

}  // namespace ui::win32
