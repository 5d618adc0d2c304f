#include "ui/Controls.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "ui/Application.h"
#include "ui/Backend.h"
#include "ui/Forms.h"

namespace ui {

namespace {

template <class T>
void EraseValue(std::vector<T>& list, T value) {
    list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

// Whether a user action on control can happen: it shows and can be reached.
bool Reachable(const TControl& control) {
    return control.Showing() && control.EffectivelyEnabled();
}

}  // namespace

// ---- TControl

TControl::TControl(TComponent* owner, TWinControl* parent, TControlKind kind)
    : TComponent(owner), kind_(kind), parent_(parent) {
    if (parent_) {
        parent_->controls_.push_back(this);
        // Made after the window: the peer comes once the control is whole.
        if (parent_->peer_) Application->pendingPeers_.push_back(this);
    }
}

TControl::~TControl() {
    EraseValue(Application->pendingPeers_, this);
    DestroyPeer();
    if (parent_) {
        if (TForm* form = parent_->ParentForm()) form->ControlGone(this);
        EraseValue(parent_->controls_, this);
    }
}

void TControl::DestroyPeer() {
    peer_.reset();
}

TForm* TControl::ParentForm() const {
    const TControl* control = this;
    while (control->parent_) control = control->parent_;
    if (control->kind_ != TControlKind::Form) return nullptr;
    return static_cast<TForm*>(const_cast<TControl*>(control));
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    Changed(TProperty::Bounds);
}

void TControl::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    Changed(TProperty::Visible);
}

bool TControl::Showing() const {
    if (!visible_) return false;
    if (kind_ == TControlKind::Form) return true;
    if (!parent_) return false;
    if (kind_ == TControlKind::TabSheet) {
        auto* sheet = static_cast<const TTabSheet*>(this);
        if (sheet->PageControl()->ActivePage() != sheet) return false;
    }
    return parent_->Showing();
}

void TControl::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Changed(TProperty::Enabled);
}

bool TControl::EffectivelyEnabled() const {
    for (const TControl* control = this; control; control = control->parent_) {
        if (!control->enabled_) return false;
    }
    return true;
}

void TControl::SetText(const std::string& text) {
    if (text == text_) return;
    text_ = text;
    Changed(TProperty::Text);
}

const TFont& TControl::Font() const {
    static const TFont defaultFont;
    TForm* form = ParentForm();
    return form ? form->font_ : defaultFont;
}

void TControl::Update() {
    if (peer_) peer_->Repaint();
}

void TControl::HandleNeeded() {
    if (!peer_) {
        TBackend* backend = Application->Backend();
        if (!backend) return;
        if (parent_ ? parent_->peer_ == nullptr : kind_ != TControlKind::Form) return;
        peer_ = backend->CreatePeer(*this);
    }
    if (auto* windowed = dynamic_cast<TWinControl*>(this)) {
        // Copy: creating a peer does not add controls, but be safe against it.
        std::vector<TControl*> children = windowed->controls_;
        for (TControl* child : children) child->HandleNeeded();
    }
}

void TControl::Changed(TProperty what) {
    if (peer_) peer_->Changed(what);
    PropertyChanged(what);
}

// ---- TWinControl

TWinControl::TWinControl(TComponent* owner, TWinControl* parent, TControlKind kind)
    : TControl(owner, parent, kind) {
    if (parent) parent->tabList_.push_back(this);
}

TWinControl::~TWinControl() {
    // Owned controls go first, while this control is still whole.
    DestroyComponents();
    // Controls owned elsewhere lose their parent.
    for (TControl* child : controls_) {
        child->DestroyPeer();
        child->parent_ = nullptr;
    }
    controls_.clear();
    tabList_.clear();
    if (TWinControl* parent = Parent()) EraseValue(parent->tabList_, this);
}

int TWinControl::TabOrder() const {
    if (!Parent()) return -1;
    const auto& list = Parent()->tabList_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int order) {
    TWinControl* parent = Parent();
    if (!parent) return;
    auto& list = parent->tabList_;
    int count = static_cast<int>(list.size());
    order = std::clamp(order, 0, count - 1);
    if (order == TabOrder()) return;
    EraseValue(list, this);
    list.insert(list.begin() + order, this);
    for (TWinControl* sibling : std::vector<TWinControl*>(list)) {
        sibling->Changed(TProperty::TabOrder);
    }
}

void TWinControl::SetTabStop(bool tabStop) {
    if (tabStop == tabStop_) return;
    tabStop_ = tabStop;
    Changed(TProperty::TabOrder);
}

void TWinControl::SetFocus() {
    TForm* form = ParentForm();
    if (form) form->activeControl_ = this;
    if (Peer()) Peer()->Focus();
}

bool TWinControl::Focused() const {
    TForm* form = ParentForm();
    return form && form->activeControl_ == this;
}

void TWinControl::UserFocused() {
    if (TForm* form = ParentForm()) form->activeControl_ = this;
}

// ---- TLabel

TLabel::TLabel(TWinControl* parent) : TGraphicControl(parent, parent, TControlKind::Label) {}

TLabel::TLabel(TComponent* owner, TWinControl* parent)
    : TGraphicControl(owner, parent, TControlKind::Label) {}

void TLabel::SetAlignment(TAlignment alignment) {
    if (alignment == alignment_) return;
    alignment_ = alignment;
    Changed(TProperty::Style);
}

void TLabel::SetWordWrap(bool wordWrap) {
    if (wordWrap == wordWrap_) return;
    wordWrap_ = wordWrap;
    Changed(TProperty::Style);
}

TSize TLabel::TextExtent(const std::string& text) const {
    TBackend* backend = Application->Backend();
    return backend ? backend->MeasureText(Font(), text) : FixedPitchTextExtent(Font(), text);
}

int TLabel::TextWidth(const std::string& text) const {
    return TextExtent(text).cx;
}

// ---- TPaintBox

TPaintBox::TPaintBox(TWinControl* parent)
    : TGraphicControl(parent, parent, TControlKind::PaintBox) {}

void TPaintBox::Click() {
    if (OnClick) OnClick(this);
}

bool TPaintBox::UserClick() {
    if (!Reachable(*this)) return false;
    Guarded([this] { Click(); });
    return true;
}

// ---- TButton

TButton::TButton(TWinControl* parent) : TWinControl(parent, parent, TControlKind::Button) {}

void TButton::Click() {
    if (OnClick) OnClick(this);
}

bool TButton::UserClick() {
    if (!Reachable(*this)) return false;
    Guarded([this] { Click(); });
    return true;
}

// ---- TListBox

TListBox::TListBox(TWinControl* parent) : TWinControl(parent, parent, TControlKind::ListBox) {
    items_.OnChange = [this](const TStringsChange& change) { ItemsChanged(change); };
}

void TListBox::ItemsChanged(const TStringsChange& change) {
    int index = itemIndex_;
    switch (change.kind) {
        case TStringsChange::Cleared:
            index = -1;
            break;
        case TStringsChange::Deleted:
            if (change.index == index) {
                index = -1;
            } else if (change.index < index) {
                --index;
            }
            break;
        case TStringsChange::Inserted:
            if (index >= 0 && change.index <= index) ++index;
            break;
        case TStringsChange::Replaced:
            break;
    }
    if (Peer()) Peer()->ItemsChanged(change);
    if (index != itemIndex_) {
        itemIndex_ = index;
        Changed(TProperty::ItemIndex);
    }
}

void TListBox::SetItemIndex(int index) {
    if (index < -1 || index >= items_.Count()) index = -1;
    if (index == itemIndex_) return;
    itemIndex_ = index;
    Changed(TProperty::ItemIndex);
}

void TListBox::SetItemHeight(int height) {
    if (height == itemHeight_) return;
    itemHeight_ = height;
    Changed(TProperty::Style);
}

bool TListBox::UserSelect(int index) {
    if (!Reachable(*this) || index < 0 || index >= items_.Count()) return false;
    Guarded([this, index] {
        SetItemIndex(index);
        if (OnClick) OnClick(this);
    });
    return true;
}

// ---- TEdit

TEdit::TEdit(TWinControl* parent) : TWinControl(parent, parent, TControlKind::Edit) {}

void TEdit::SetReadOnly(bool readOnly) {
    if (readOnly == readOnly_) return;
    readOnly_ = readOnly;
    Changed(TProperty::Style);
}

void TEdit::PropertyChanged(TProperty what) {
    if (what == TProperty::Text && OnChange) OnChange(this);
}

bool TEdit::UserSetText(const std::string& text) {
    if (!Reachable(*this) || readOnly_) return false;
    Guarded([this, &text] { SetText(text); });
    return true;
}

// ---- TBoundLabel, TLabeledEdit

TBoundLabel::TBoundLabel(TLabeledEdit* edit) : TLabel(edit, edit->Parent()), edit_(edit) {}

void TBoundLabel::PropertyChanged(TProperty what) {
    if (what == TProperty::Text || what == TProperty::Font) edit_->AdjustLabel();
}

TLabeledEdit::TLabeledEdit(TWinControl* parent) : TEdit(parent), label_(new TBoundLabel(this)) {}

void TLabeledEdit::SetLabelSpacing(int spacing) {
    if (spacing == labelSpacing_) return;
    labelSpacing_ = spacing;
    AdjustLabel();
}

void TLabeledEdit::AdjustLabel() {
    TSize size = label_->TextExtent(label_->Caption());
    label_->SetBounds(Left() - size.cx - labelSpacing_, Top() + (Height() - size.cy) / 2, size.cx,
                      size.cy);
}

void TLabeledEdit::PropertyChanged(TProperty what) {
    switch (what) {
        case TProperty::Bounds:
            AdjustLabel();
            break;
        case TProperty::Visible:
            label_->SetVisible(Visible());
            break;
        case TProperty::Enabled:
            label_->SetEnabled(Enabled());
            break;
        default:
            break;
    }
    TEdit::PropertyChanged(what);
}

// ---- TMemo

TMemo::TMemo(TWinControl* parent) : TWinControl(parent, parent, TControlKind::Memo) {
    lines_.OnChange = [this](const TStringsChange& change) {
        if (Peer()) Peer()->ItemsChanged(change);
    };
}

void TMemo::SetReadOnly(bool readOnly) {
    if (readOnly == readOnly_) return;
    readOnly_ = readOnly;
    Changed(TProperty::Style);
}

void TMemo::SetWordWrap(bool wordWrap) {
    if (wordWrap == wordWrap_) return;
    wordWrap_ = wordWrap;
    Changed(TProperty::Style);
}

void TMemo::SetScrollBars(TScrollStyle scrollBars) {
    if (scrollBars == scrollBars_) return;
    scrollBars_ = scrollBars;
    Changed(TProperty::Style);
}

void TMemo::SetBorderStyle(TBorderStyle borderStyle) {
    if (borderStyle == borderStyle_) return;
    borderStyle_ = borderStyle;
    Changed(TProperty::Style);
}

void TMemo::SetColor(TColor color) {
    if (color == color_) return;
    color_ = color;
    Changed(TProperty::Style);
}

// ---- TUpDown

TUpDown::TUpDown(TWinControl* parent) : TWinControl(parent, parent, TControlKind::UpDown) {}

void TUpDown::SetAssociate(TEdit* edit) {
    if (edit == associate_) return;
    associate_ = edit;
    Changed(TProperty::Style);
    ShowInAssociate();
}

void TUpDown::SetMin(int min) {
    if (min == min_) return;
    min_ = min;
    Changed(TProperty::Range);
}

void TUpDown::SetMax(int max) {
    if (max == max_) return;
    max_ = max;
    Changed(TProperty::Range);
}

void TUpDown::SetPosition(int position) {
    int value = static_cast<std::int16_t>(static_cast<std::uint16_t>(position & 0xFFFF));
    value = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
    if (value != position_) {
        // Every change of the value is reported, also the program's own; the program's value
        // is final, so the answer does not matter here.
        if (OnChanging) {
            bool allow = true;
            OnChanging(this, allow);
        }
        position_ = value;
        Changed(TProperty::Position);
    }
    ShowInAssociate();
}

void TUpDown::SetIncrement(int increment) {
    if (increment == increment_) return;
    increment_ = increment;
    Changed(TProperty::Style);
}

void TUpDown::SetWrap(bool wrap) {
    if (wrap == wrap_) return;
    wrap_ = wrap;
    Changed(TProperty::Style);
}

void TUpDown::ShowInAssociate() {
    if (associate_) associate_->SetText(std::to_string(position_));
}

bool TUpDown::UserClick(TUDBtnType button) {
    if (!Reachable(*this)) return false;
    Guarded([this, button] {
        bool allow = true;
        if (OnChanging) OnChanging(this, allow);
        if (!allow) return;
        int low = std::min(min_, max_);
        int high = std::max(min_, max_);
        int value = position_ + (button == btNext ? increment_ : -increment_);
        if (value > high) value = wrap_ ? low : high;
        if (value < low) value = wrap_ ? high : low;
        if (value == position_) return;
        position_ = value;
        Changed(TProperty::Position);
        ShowInAssociate();
        if (OnClick) OnClick(this, button);
    });
    return true;
}

// ---- TProgressBar

TProgressBar::TProgressBar(TWinControl* parent)
    : TWinControl(parent, parent, TControlKind::ProgressBar) {}

void TProgressBar::SetMin(int min) {
    if (min == min_) return;
    min_ = min;
    Changed(TProperty::Range);
}

void TProgressBar::SetMax(int max) {
    if (max == max_) return;
    max_ = max;
    Changed(TProperty::Range);
}

void TProgressBar::SetPosition(int position) {
    position = std::clamp(position, std::min(min_, max_), std::max(min_, max_));
    if (position == position_) return;
    position_ = position;
    Changed(TProperty::Position);
}

void TProgressBar::SetSmooth(bool smooth) {
    if (smooth == smooth_) return;
    smooth_ = smooth;
    Changed(TProperty::Style);
}

void TProgressBar::SetStep(int step) {
    if (step == step_) return;
    step_ = step;
    Changed(TProperty::Style);
}

// ---- TTabSheet, TPageControl

TTabSheet::TTabSheet(TPageControl* pageControl)
    : TWinControl(pageControl, pageControl, TControlKind::TabSheet), pageControl_(pageControl) {
    pageControl_->AddPage(this);
}

TTabSheet::~TTabSheet() {
    if (pageControl_) pageControl_->RemovePage(this);
}

int TTabSheet::PageIndex() const {
    const auto& pages = pageControl_->pages_;
    auto it = std::find(pages.begin(), pages.end(), this);
    return it == pages.end() ? -1 : static_cast<int>(it - pages.begin());
}

TPageControl::TPageControl(TWinControl* parent)
    : TWinControl(parent, parent, TControlKind::PageControl) {}

TPageControl::~TPageControl() {
    // The pages leave pages_ as they go: destroy them while it still exists.
    DestroyComponents();
}

void TPageControl::AddPage(TTabSheet* page) {
    pages_.push_back(page);
    if (!activePage_) {
        activePage_ = page;
        Changed(TProperty::ActivePage);
    }
}

void TPageControl::RemovePage(TTabSheet* page) {
    EraseValue(pages_, page);
    if (activePage_ == page) {
        activePage_ = pages_.empty() ? nullptr : pages_.front();
        Changed(TProperty::ActivePage);
    }
}

int TPageControl::ActivePageIndex() const {
    return activePage_ ? activePage_->PageIndex() : -1;
}

void TPageControl::SetActivePage(TTabSheet* page) {
    if (page && page->PageControl() != this) return;
    if (page == activePage_) return;
    activePage_ = page;
    Changed(TProperty::ActivePage);
}

void TPageControl::SetActivePageIndex(int index) {
    SetActivePage(index >= 0 && index < PageCount() ? pages_[index] : nullptr);
}

bool TPageControl::UserCanChange() {
    bool allow = true;
    bool ok = Guarded([this, &allow] {
        if (OnChanging) OnChanging(this, allow);
    });
    return ok && allow;
}

void TPageControl::UserChanged(int index) {
    Guarded([this, index] {
        SetActivePageIndex(index);
        if (OnChange) OnChange(this);
    });
}

bool TPageControl::UserSelectPage(int index) {
    if (!Reachable(*this) || index < 0 || index >= PageCount()) return false;
    if (pages_[index] == activePage_) return false;
    if (!UserCanChange()) return false;
    UserChanged(index);
    return true;
}

// ---- Characters and the fixed-pitch metric

std::size_t CharLength(const std::string& text, std::size_t pos) {
    if (pos >= text.size()) return 0;
    auto lead = static_cast<unsigned char>(text[pos]);
#ifdef _WIN32
    if (IsDBCSLeadByte(lead) && pos + 1 < text.size()) return 2;
    return 1;
#else
    std::size_t length;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    } else {
        return 1;
    }
    if (pos + length > text.size()) return 1;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 1;
    }
    return length;
#endif
}

TSize FixedPitchTextExtent(const TFont& font, const std::string& text) {
    int height = std::abs(font.Height);
    int unit = (height + 1) / 2;
#ifdef _WIN32
    const std::size_t wideLength = 2;
#else
    const std::size_t wideLength = 3;
#endif
    TSize size;
    size.cy = height + 2;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t length = CharLength(text, pos);
        size.cx += length >= wideLength ? 2 * unit : unit;
        pos += length;
    }
    return size;
}

}  // namespace ui
