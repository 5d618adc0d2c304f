#include "ui/win32/FormPeer.h"

#include <windows.h>
// windows.h first.
#include <dbt.h>

#include <stdexcept>
#include <string>

#include "ui/Application.h"
#include "ui/win32/Peers.h"
#include "ui/win32/WindowClasses.h"

namespace ui::win32 {

TFormPeer::TFormPeer(TForm& form, HWND owner) : TWin32Peer(form), form_(form), owner_(owner) {
    RECT r = WindowRect();
    HWND hwnd = CreateWindowExA(ExStyle(), kFormClass, form.Caption().c_str(), Style(), r.left,
                                r.top, r.right - r.left, r.bottom - r.top, owner, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    if (!hwnd) {
        throw std::runtime_error("cannot create the window of form '" + form.Name() + "' (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    // From here on every message of the window goes through the form's WndProc.
    AdoptHandle(hwnd);
    ApplyFont();
    if (form.Visible()) ApplyVisible();
}

TFormPeer::~TFormPeer() {
    for (HDEVNOTIFY notification : notifications_) UnregisterDeviceNotification(notification);
}

DWORD TFormPeer::Style() const {
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    unsigned icons = form_.BorderIcons();
    if (icons & biSystemMenu) style |= WS_SYSMENU;
    // A dialog frame never has minimise and maximise boxes.
    if (form_.BorderStyle() == bsSizeable) {
        style |= WS_THICKFRAME;
        if (icons & biMinimize) style |= WS_MINIMIZEBOX;
        if (icons & biMaximize) style |= WS_MAXIMIZEBOX;
    }
    return style;
}

DWORD TFormPeer::ExStyle() const {
    // Control parent: dialog navigation (Tab) walks into pages and their controls.
    DWORD exStyle = WS_EX_CONTROLPARENT;
    if (form_.BorderStyle() == bsDialog) exStyle |= WS_EX_DLGMODALFRAME;
    return exStyle;
}

RECT TFormPeer::WindowRect() const {
    RECT r{0, 0, form_.ClientWidth(), form_.ClientHeight()};
    AdjustWindowRectEx(&r, Style(), FALSE, ExStyle());
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    int left = form_.Left();
    int top = form_.Top();
    if (form_.Position() == poScreenCenter) {
        left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    }
    return RECT{left, top, left + width, top + height};
}

void TFormPeer::ApplyBounds() {
    RECT r = WindowRect();
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    // Once shown, a centred form keeps its place; only its size follows the client size.
    if (shown_ && form_.Position() == poScreenCenter) flags |= SWP_NOMOVE;
    SetWindowPos(Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
}

void TFormPeer::ApplyStyle() {
    SetWindowLongPtrA(
        Handle(), GWL_STYLE,
        (GetWindowLongPtrA(Handle(), GWL_STYLE) & (WS_VISIBLE | WS_DISABLED)) | Style());
    SetWindowLongPtrA(Handle(), GWL_EXSTYLE, ExStyle());
    RECT r = WindowRect();
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;
    if (shown_) flags |= SWP_NOMOVE;
    SetWindowPos(Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
}

void TFormPeer::ApplyVisible() {
    if (!form_.Visible()) {
        ShowWindow(Handle(), SW_HIDE);
        // Without the main form the program has nothing left on the task bar.
        if (owner_ && Application->MainForm() == &form_) ShowWindow(owner_, SW_HIDE);
        return;
    }
    // An owned window has no task-bar button of its own: its owner's button stands for it.
    if (owner_ && !IsWindowVisible(owner_)) ShowWindow(owner_, SW_SHOWNOACTIVATE);
    if (!shown_) {
        // Centred when first shown, on the desktop as it is then.
        ApplyBounds();
        shown_ = true;
    }
    ShowWindow(Handle(), SW_SHOW);
    RestoreFocus();
}

void TFormPeer::RestoreFocus() {
    HWND focus = GetFocus();
    if (focus && IsChild(Handle(), focus)) return;
    if (lastFocus_ && IsWindow(lastFocus_) && IsChild(Handle(), lastFocus_)) {
        SetFocus(lastFocus_);
    } else if (HWND first = GetNextDlgTabItem(Handle(), nullptr, FALSE)) {
        SetFocus(first);
    }
}

void TFormPeer::DefaultHandler(TMessage& message) {
    HWND hwnd = Handle();
    if (RouteChildMessage(hwnd, message.Msg, message.WParam, message.LParam, message.Result)) {
        return;
    }
    switch (message.Msg) {
        case WM_CLOSE:
            // The title-bar close box: the framework decides (OnCloseQuery, OnClose); the
            // window is destroyed with the form, never here.
            form_.UserClose();
            message.Result = 0;
            return;
        case WM_QUERYENDSESSION: {
            // Log-off and shut-down end the program without a close: the form's close rules
            // decide whether they may (a firmware upgrade must not be cut off), nothing closes
            // here.
            bool canEnd = false;
            Guarded([this, &canEnd] { canEnd = form_.CloseQuery(); });
            message.Result = canEnd ? TRUE : FALSE;
            return;
        }
        case WM_ACTIVATE:
            // Keep the focus on a control across activation, as dialogs do.
            if (LOWORD(message.WParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(hwnd, focus)) lastFocus_ = focus;
            } else if (!HIWORD(message.WParam)) {
                RestoreFocus();
            }
            message.Result = 0;
            return;
        default:
            message.Result = DefWindowProcA(hwnd, message.Msg, message.WParam, message.LParam);
    }
}

HDEVNOTIFY TFormPeer::RegisterDeviceInterface(const GUID& interfaceClass) {
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    static_assert(sizeof filter == 32, "the device interface filter is 32 bytes");
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    filter.dbcc_classguid = interfaceClass;
    filter.dbcc_name[0] = '\0';
    HDEVNOTIFY handle = RegisterDeviceNotificationA(Handle(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (handle) notifications_.push_back(handle);
    return handle;
}

LRESULT CALLBACK FormWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Until the peer has adopted the window (messages sent by CreateWindowExA) and after it
    // let go of it (DestroyWindow), the window gets the default processing only.
    auto* peer = static_cast<TFormPeer*>(TWin32Peer::FromHandle(hwnd));
    if (!peer) return DefWindowProcA(hwnd, msg, wParam, lParam);
    return peer->Form().DeliverMessage(msg, wParam, lParam);
}

std::unique_ptr<TPeer> CreateFormPeer(TForm& form, HWND owner) {
    return std::make_unique<TFormPeer>(form, owner);
}

}  // namespace ui::win32
