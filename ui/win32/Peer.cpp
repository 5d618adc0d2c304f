#include "ui/win32/Peer.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/win32/WindowClasses.h"

namespace ui::win32 {
namespace {

// Control identifiers start above the dialog command IDs (IDOK, IDCANCEL, ...), so that
// dialog navigation never takes a control for a dialog button.
int NextControlId() {
    static int next = 1000;
    return next++;
}

bool IsWindowed(TControlKind kind) {
    return kind != TControlKind::Label && kind != TControlKind::PaintBox;
}

HWND HandleOf(const TControl* control, const TControl* fresh, HWND freshHandle) {
    if (control == fresh) return freshHandle;
    auto* peer = static_cast<TWin32Peer*>(control->Peer());
    return peer ? peer->Handle() : nullptr;
}

}  // namespace

TWin32Peer::~TWin32Peer() {
    DestroyHandle();
}

TWin32Peer* TWin32Peer::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<TWin32Peer*>(GetPropA(hwnd, kPeerProperty)) : nullptr;
}

HWND TWin32Peer::ParentContainer(const TControl& control) {
    TWinControl* parent = control.Parent();
    auto* peer = parent ? static_cast<TWin32Peer*>(parent->Peer()) : nullptr;
    if (!peer) throw std::logic_error("control '" + control.Name() + "' has no parent window");
    return peer->ContainerHandle();
}

void TWin32Peer::CreateHandle(const char* className, DWORD style, DWORD exStyle) {
    style |= WS_CHILD | WS_CLIPSIBLINGS;
    if (VisibleNow()) style |= WS_VISIBLE;
    if (!control_.Enabled()) style |= WS_DISABLED;
    if (IsWindowed(control_.Kind()) && static_cast<TWinControl&>(control_).TabStop()) {
        style |= WS_TABSTOP;
    }
    updating_ = true;
    HWND hwnd = CreateWindowExA(exStyle, className, control_.Text().c_str(), style, control_.Left(),
                                control_.Top(), control_.Width(), control_.Height(),
                                ParentContainer(control_),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(NextControlId())),
                                GetModuleHandleA(nullptr), this);
    updating_ = false;
    if (!hwnd) {
        throw std::runtime_error("cannot create the " + std::string(className) + " window of '" +
                                 control_.Name() + "' (error " + std::to_string(GetLastError()) +
                                 ")");
    }
    AdoptHandle(hwnd);
    if (IsWindowed(control_.Kind())) SetWindowSubclass(hwnd, FocusSubclass, 0, 0);
    ApplyFont();
    // Some controls size themselves while they are created (an up-down without a buddy takes
    // the system's scroll-arrow width): the place given is applied once more, now that the
    // window exists.
    TWin32Peer::ApplyBounds();
    ArrangeChildren(*control_.Parent(), &control_, hwnd);
}

void TWin32Peer::AdoptHandle(HWND hwnd) {
    hwnd_ = hwnd;
    SetPropA(hwnd_, kPeerProperty, this);
}

void TWin32Peer::DestroyHandle() {
    if (!hwnd_) return;
    // Detach first: the messages DestroyWindow sends must not reach a dying peer.
    RemovePropA(hwnd_, kPeerProperty);
    HWND hwnd = hwnd_;
    hwnd_ = nullptr;
    DestroyWindow(hwnd);
}

void TWin32Peer::Changed(TProperty what) {
    if (!hwnd_) return;
    switch (what) {
        case TProperty::Bounds:
            ApplyBounds();
            break;
        case TProperty::Visible:
            ApplyVisible();
            break;
        case TProperty::Enabled:
            EnableWindow(hwnd_, control_.Enabled());
            break;
        case TProperty::Text:
            ApplyText();
            break;
        case TProperty::Font:
            ApplyFont();
            break;
        case TProperty::TabOrder:
            if (IsWindowed(control_.Kind()) && control_.Parent()) {
                LONG_PTR style = GetWindowLongPtrA(hwnd_, GWL_STYLE) & ~LONG_PTR{WS_TABSTOP};
                if (static_cast<TWinControl&>(control_).TabStop()) style |= WS_TABSTOP;
                SetWindowLongPtrA(hwnd_, GWL_STYLE, style);
                ArrangeChildren(*control_.Parent());
            }
            break;
        case TProperty::Style:
            ApplyStyle();
            break;
        default:
            ApplyState(what);
            break;
    }
}

void TWin32Peer::ApplyBounds() {
    SetWindowPos(hwnd_, nullptr, control_.Left(), control_.Top(), control_.Width(),
                 control_.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Peer::ApplyVisible() {
    ShowWindow(hwnd_, VisibleNow() ? SW_SHOWNA : SW_HIDE);
}

void TWin32Peer::ApplyText() {
    if (WindowText(hwnd_) == control_.Text()) return;
    updating_ = true;
    SetWindowTextA(hwnd_, control_.Text().c_str());
    updating_ = false;
}

void TWin32Peer::ApplyFont() {
    SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle(control_.Font())), TRUE);
}

void TWin32Peer::Repaint() {
    if (hwnd_) UpdateWindow(hwnd_);
}

void TWin32Peer::Focus() {
    if (hwnd_ && GetFocus() != hwnd_) SetFocus(hwnd_);
}

void TWin32Peer::GotFocus() {
    if (IsWindowed(control_.Kind())) static_cast<TWinControl&>(control_).UserFocused();
}

LRESULT CALLBACK TWin32Peer::FocusSubclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR id, DWORD_PTR data) {
    (void)id;
    (void)data;
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, FocusSubclass, 0);
    } else if (msg == WM_SETFOCUS) {
        LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
        if (TWin32Peer* peer = FromHandle(hwnd)) peer->GotFocus();
        return result;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

void ArrangeChildren(const TWinControl& parent, const TControl* fresh, HWND freshHandle) {
    std::vector<TWinControl*> windowed;
    std::vector<HWND> labels;
    std::vector<HWND> paintBoxes;
    for (int i = 0; i < parent.ControlCount(); ++i) {
        TControl* child = parent.Controls(i);
        HWND hwnd = HandleOf(child, fresh, freshHandle);
        if (!hwnd) continue;
        if (child->Kind() == TControlKind::Label) {
            labels.push_back(hwnd);
        } else if (child->Kind() == TControlKind::PaintBox) {
            paintBoxes.push_back(hwnd);
        } else {
            windowed.push_back(static_cast<TWinControl*>(child));
        }
    }
    std::stable_sort(windowed.begin(), windowed.end(),
                     [](TWinControl* a, TWinControl* b) { return a->TabOrder() < b->TabOrder(); });
    std::vector<HWND> order;
    for (TWinControl* control : windowed) order.push_back(HandleOf(control, fresh, freshHandle));
    order.insert(order.end(), labels.begin(), labels.end());
    order.insert(order.end(), paintBoxes.begin(), paintBoxes.end());
    HWND after = HWND_TOP;
    for (HWND hwnd : order) {
        SetWindowPos(hwnd, after, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        after = hwnd;
    }
}

bool RouteChildMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (msg) {
        case WM_COMMAND: {
            TWin32Peer* peer = TWin32Peer::FromHandle(reinterpret_cast<HWND>(lParam));
            if (!peer) return false;
            peer->Command(HIWORD(wParam));
            result = 0;
            return true;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            TWin32Peer* peer = TWin32Peer::FromHandle(header->hwndFrom);
            result = 0;
            return peer && peer->Notify(*header, result);
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN: {
            TWin32Peer* peer = TWin32Peer::FromHandle(reinterpret_cast<HWND>(lParam));
            HBRUSH brush = peer ? peer->ControlColor(reinterpret_cast<HDC>(wParam)) : nullptr;
            if (!brush) return false;
            result = reinterpret_cast<LRESULT>(brush);
            return true;
        }
        default:
            (void)hwnd;
            return false;
    }
}

std::string WindowText(HWND hwnd) {
    int length = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

}  // namespace ui::win32
