// The controls of the window framework.
//
// A control's properties live in the control object. When the window exists, each control has
// a peer made by the active back end (ui/Backend.h): a native control on Windows, a recorder in
// the headless back end. Setting a property stores the value and tells the peer what changed.
//
// What a user does in the real window comes back through the control's User... entry points
// (UserClick, UserSetText, UserSelectPage, ...). These run exactly the logic a user action
// runs (events in their order, refusals, bounds), catch an exception escaping a handler and hand
// it to the standard error display, and ignore an action on a control that is disabled or not
// showing. Tests call the same entry points. The programmatic counterparts (Click(),
// SetText(), SetActivePage(), SetPosition()) behave as a program's own call does: they cannot
// be refused through OnChanging (an up-down still reports the change there) and let exceptions
// through to the caller.
//
// Construction: every control is created with its parent (new TButton(form) or
// new TButton(tabSheet), or as a member object) and is owned by it: a parent destroys its
// controls. Coordinates are in pixels relative to the parent's client area.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/Classes.h"

namespace ui {

class TForm;
class TWinControl;
class TPeer;
class TPageControl;
class TEdit;

enum class TControlKind {
    Form,
    Label,
    ListBox,
    Button,
    PageControl,
    TabSheet,
    Edit,  // TEdit and TLabeledEdit (its label is a TLabel of its own)
    UpDown,
    Memo,
    ProgressBar,
    PaintBox,
};

// What a peer is told has changed; the peer reads the new values from the control.
enum class TProperty {
    Bounds,      // Left, Top, Width, Height (forms: ClientWidth, ClientHeight)
    Visible,     // Visible (the peer shows the control when Showing())
    Enabled,     // Enabled
    Text,        // Caption / Text
    Font,        // the form's font changed
    TabOrder,    // TabOrder of this or a sibling, TabStop
    Style,       // the kind's other properties (alignment, word wrap, read-only, scroll bars,
                 // border, colour, smooth, step, item height, wrap, associate, form border ...)
    ItemIndex,   // TListBox::ItemIndex
    ActivePage,  // TPageControl::ActivePage
    Position,    // TUpDown::Position, TProgressBar::Position
    Range,       // Min and Max of TUpDown and TProgressBar
};

class TControl : public TComponent {
  public:
    ~TControl() override;

    TControlKind Kind() const { return kind_; }
    TWinControl* Parent() const { return parent_; }
    // The form the control is on (for a form: the form itself); null when there is none.
    TForm* ParentForm() const;

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
    void SetTop(int top) { SetBounds(left_, top, width_, height_); }
    void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
    void SetHeight(int height) { SetBounds(left_, top_, width_, height); }
    void SetBounds(int left, int top, int width, int height);

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, on a parent that shows, on the active page of a page control, on a shown form.
    bool Showing() const;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // Enabled, and so is every parent: whether the user can reach the control.
    bool EffectivelyEnabled() const;

    // Caption and Text are the same property (a button's caption, an edit's text).
    const std::string& Caption() const { return text_; }
    void SetCaption(const std::string& caption) { SetText(caption); }
    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);

    // Every control uses its form's font.
    const TFont& Font() const;

    // Repaints the control at once (Windows: UpdateWindow).
    void Update();

    // The back end's peer; null until the window exists. HandleNeeded creates the peer (and
    // those of the controls on it) when the parent already has one. A control made after its
    // form's window gets its peer at the next ProcessMessages (or message loop turn), at the
    // form's next Show, or here.
    TPeer* Peer() const { return peer_.get(); }
    void HandleNeeded();

  protected:
    TControl(TComponent* owner, TWinControl* parent, TControlKind kind);

    // Tells the peer (if any) that a property changed, then PropertyChanged.
    void Changed(TProperty what);
    // Hook for derived classes, called after the value was stored and the peer told.
    virtual void PropertyChanged(TProperty what) { (void)what; }

  private:
    friend class TWinControl;
    friend class TForm;
    void DestroyPeer();

    TControlKind kind_;
    TWinControl* parent_;
    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    std::string text_;
    std::unique_ptr<TPeer> peer_;
};

// A control with a window of its own: it can hold controls, take the focus and has a place in
// its parent's tab order.
class TWinControl : public TControl {
  public:
    ~TWinControl() override;

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(index); }

    // Position among the parent's windowed controls, from 0 (the order of creation until set).
    // Setting it moves the control there and renumbers its siblings.
    int TabOrder() const;
    void SetTabOrder(int order);
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool tabStop);

    // Moves the keyboard focus here. The form's ActiveControl tells who has it.
    void SetFocus();
    bool Focused() const;
    bool CanFocus() const { return Showing() && EffectivelyEnabled(); }
    // Back end entry point: the native control received the focus.
    void UserFocused();

  protected:
    TWinControl(TComponent* owner, TWinControl* parent, TControlKind kind);

  private:
    friend class TControl;
    friend class TForm;
    std::vector<TControl*> controls_;    // in creation order
    std::vector<TWinControl*> tabList_;  // windowed controls in tab order
    bool tabStop_ = true;
};

class TGraphicControl : public TControl {
  protected:
    TGraphicControl(TComponent* owner, TWinControl* parent, TControlKind kind)
        : TControl(owner, parent, kind) {}
};

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// A fixed-size text.
class TLabel : public TGraphicControl {
  public:
    explicit TLabel(TWinControl* parent);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool wordWrap);

    // Width and extent of a one-line text in the label's font, measured by the back end.
    int TextWidth(const std::string& text) const;
    TSize TextExtent(const std::string& text) const;

  protected:
    TLabel(TComponent* owner, TWinControl* parent);

  private:
    TAlignment alignment_ = taLeftJustify;
    bool wordWrap_ = false;
};

// An invisible click area.
class TPaintBox : public TGraphicControl {
  public:
    explicit TPaintBox(TWinControl* parent);

    TNotifyEvent OnClick;
    void Click();
    bool UserClick();  // back end entry point; false when ignored
};

class TButton : public TWinControl {
  public:
    explicit TButton(TWinControl* parent);

    TNotifyEvent OnClick;
    // Performs a click as the program (runs OnClick; exceptions reach the caller).
    virtual void Click();
    bool UserClick();  // back end entry point; false when ignored
};

// A single-selection list box.
class TListBox : public TWinControl {
  public:
    explicit TListBox(TWinControl* parent);

    TStrings& Items() { return items_; }
    const TStrings& Items() const { return items_; }
    // The selected row, -1 for none. Clearing the items selects none.
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);  // out of range selects none
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);

    TNotifyEvent OnClick;        // after the user selected a row
    bool UserSelect(int index);  // back end entry point; false when ignored

  private:
    void ItemsChanged(const TStringsChange& change);
    TStrings items_;
    int itemIndex_ = -1;
    int itemHeight_ = 13;
};

// A one-line edit.
class TEdit : public TWinControl {
  public:
    explicit TEdit(TWinControl* parent);

    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);

    // Fired for every change of Text, by the user or by the program (SetText); setting the
    // text it already has is no change.
    TNotifyEvent OnChange;
    // Back end entry point: the user changed the text to text (typing, pasting). False when
    // ignored (read-only, disabled, not showing).
    bool UserSetText(const std::string& text);

  protected:
    void PropertyChanged(TProperty what) override;

  private:
    bool readOnly_ = false;
};

class TLabeledEdit;

// The label of a TLabeledEdit: a TLabel on the edit's parent whose place and size follow the
// edit (sized to its caption, right edge LabelSpacing pixels left of the edit, centred
// vertically on it).
class TBoundLabel : public TLabel {
  public:
    explicit TBoundLabel(TLabeledEdit* edit);

  protected:
    void PropertyChanged(TProperty what) override;

  private:
    TLabeledEdit* edit_;
};

// An edit with its label on the left.
class TLabeledEdit : public TEdit {
  public:
    explicit TLabeledEdit(TWinControl* parent);

    TBoundLabel& EditLabel() { return *label_; }
    const TBoundLabel& EditLabel() const { return *label_; }
    int LabelSpacing() const { return labelSpacing_; }
    void SetLabelSpacing(int spacing);

    // Places the label (done by the framework when the edit, the caption or the font change).
    void AdjustLabel();

  protected:
    // The label follows the edit's place, visibility and enabled state and the font.
    void PropertyChanged(TProperty what) override;

  private:
    TBoundLabel* label_;
    int labelSpacing_ = 3;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TBorderStyle { bsNone, bsSingle };

// A multi-line edit.
class TMemo : public TWinControl {
  public:
    explicit TMemo(TWinControl* parent);

    TStrings& Lines() { return lines_; }
    const TStrings& Lines() const { return lines_; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool wordWrap);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle scrollBars);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle borderStyle);
    TColor Color() const { return color_; }
    void SetColor(TColor color);

  private:
    TStrings lines_;
    bool readOnly_ = false;
    bool wordWrap_ = true;
    TScrollStyle scrollBars_ = ssNone;
    TBorderStyle borderStyle_ = bsSingle;
    TColor color_ = clWindow;
};

enum TUDBtnType { btNext, btPrev };
using TUDClickEvent = std::function<void(TObject* sender, TUDBtnType button)>;

// An up-down (spin) control. Position is a 16-bit signed value within [Min, Max].
class TUpDown : public TWinControl {
  public:
    explicit TUpDown(TWinControl* parent);

    // The edit that shows the position (as decimal text, set whenever the position changes,
    // which fires the edit's OnChange). Null for none. The framework does not move the edit
    // or the up-down: both keep the bounds they are given.
    TEdit* Associate() const { return associate_; }
    void SetAssociate(TEdit* edit);
    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetMin(int min);
    void SetMax(int max);
    int Position() const { return position_; }
    // Keeps the low 16 bits of position (as a signed value), then clamps to [Min, Max].
    // When that changes the position, OnChanging is told first (the answer is not heeded: the
    // program's value is final); OnClick does not fire.
    void SetPosition(int position);
    int Increment() const { return increment_; }
    void SetIncrement(int increment);
    bool Wrap() const { return wrap_; }
    void SetWrap(bool wrap);

    // A user click on an arrow: OnChanging is asked first, once (also at a bound); if allowed,
    // the position moves by Increment (btNext up, btPrev down), stopping at Min and Max when
    // Wrap is false and wrapping to the other end when it is true; then, only if the position
    // changed, the associate shows it and OnClick fires with the arrow.
    // So OnChanging hears of every change of the value, by the user or by the program.
    TChangingEvent OnChanging;
    TUDClickEvent OnClick;
    bool UserClick(TUDBtnType button);  // back end entry point; false when ignored

  private:
    void ShowInAssociate();
    TEdit* associate_ = nullptr;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    int increment_ = 1;
    bool wrap_ = false;
};

class TProgressBar : public TWinControl {
  public:
    explicit TProgressBar(TWinControl* parent);

    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetMin(int min);
    void SetMax(int max);
    int Position() const { return position_; }
    void SetPosition(int position);  // clamped to [Min, Max]
    bool Smooth() const { return smooth_; }
    void SetSmooth(bool smooth);
    int Step() const { return step_; }
    void SetStep(int step);

  private:
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    bool smooth_ = false;
    int step_ = 10;
};

// A page of a page control; the controls of the page have it as their parent. The program
// does not place a sheet: the back end sizes it to the page control's display area.
class TTabSheet : public TWinControl {
  public:
    explicit TTabSheet(TPageControl* pageControl);
    ~TTabSheet() override;

    TPageControl* PageControl() const { return pageControl_; }
    int PageIndex() const;

  private:
    TPageControl* pageControl_;
};

// Pages with tabs. The first page added becomes the active page.
class TPageControl : public TWinControl {
  public:
    explicit TPageControl(TWinControl* parent);
    ~TPageControl() override;

    int PageCount() const { return static_cast<int>(pages_.size()); }
    TTabSheet* Pages(int index) const { return pages_.at(index); }
    TTabSheet* ActivePage() const { return activePage_; }
    int ActivePageIndex() const;
    // Programmatic switches do not ask OnChanging and do not fire OnChange.
    void SetActivePage(TTabSheet* page);
    void SetActivePageIndex(int index);

    // Asked before the user leaves the active page (the page being left is still ActivePage).
    TChangingEvent OnChanging;
    // After the user switched pages.
    TNotifyEvent OnChange;

    // Back end entry points. UserSelectPage runs a whole user switch to page index: false when
    // ignored, refused by OnChanging (or by an exception in it), or index is already active.
    // A back end whose native control asks first and switches afterwards (the Win32 tab
    // control) calls UserCanChange and, when the switch happened, UserChanged.
    bool UserSelectPage(int index);
    bool UserCanChange();
    void UserChanged(int index);

  private:
    friend class TTabSheet;
    void AddPage(TTabSheet* page);
    void RemovePage(TTabSheet* page);
    std::vector<TTabSheet*> pages_;
    TTabSheet* activePage_ = nullptr;
};

// Width in bytes of the character that starts at text[pos]: on Windows 2 when the byte is a
// lead byte of the system's double-byte code page (IsDBCSLeadByte), else 1; in the portable
// build the length of the UTF-8 sequence (1 for a byte that starts none). Never runs past the
// end of the text. 0 at or after the end.
std::size_t CharLength(const std::string& text, std::size_t pos);

}  // namespace ui
