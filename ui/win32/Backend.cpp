#include <stdexcept>
#include <string>

#include "ui/Application.h"
#include "ui/win32/BackendImpl.h"
#include "ui/win32/FormPeer.h"
#include "ui/win32/Peers.h"
#include "ui/win32/Win32.h"
#include "ui/win32/WindowClasses.h"

namespace ui {

std::unique_ptr<TBackend> CreateWin32Backend() {
    return std::make_unique<win32::TWin32Backend>();
}

HWND PeerHandle(const TControl& control) {
    auto* peer = static_cast<win32::TWin32Peer*>(control.Peer());
    return peer ? peer->Handle() : nullptr;
}

}  // namespace ui

namespace ui::win32 {

TWin32Backend::TWin32Backend() {
    RegisterWindowClasses();
    utility_ = CreateWindowExA(0, kUtilityClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    if (!utility_) {
        throw std::runtime_error("cannot create the message window (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    SetWindowLongPtrA(utility_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    // Zero-sized at the screen's centre, like the forms it owns; hidden until a form shows.
    application_ = CreateWindowExA(
        0, kApplicationClass, "", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS,
        GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
        nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!application_) {
        DWORD error = GetLastError();
        DestroyWindow(utility_);
        throw std::runtime_error("cannot create the application window (error " +
                                 std::to_string(error) + ")");
    }
    measureDc_ = CreateCompatibleDC(nullptr);
}

TWin32Backend::~TWin32Backend() {
    for (auto& entry : timers_) KillTimer(utility_, entry.first);
    SetWindowLongPtrA(utility_, GWLP_USERDATA, 0);
    DestroyWindow(utility_);
    DestroyWindow(application_);
    DeleteDC(measureDc_);
    // Every window is gone by now (forms die before the back end): fonts can go.
    ReleaseFonts();
}

std::unique_ptr<TPeer> TWin32Backend::CreatePeer(TControl& control) {
    switch (control.Kind()) {
        case TControlKind::Form:
            return CreateFormPeer(static_cast<TForm&>(control), application_);
        case TControlKind::Label:
            return CreateLabelPeer(static_cast<TLabel&>(control));
        case TControlKind::ListBox:
            return CreateListBoxPeer(static_cast<TListBox&>(control));
        case TControlKind::Button:
            return CreateButtonPeer(static_cast<TButton&>(control));
        case TControlKind::PageControl:
            return CreatePageControlPeer(static_cast<TPageControl&>(control));
        case TControlKind::TabSheet:
            return CreateTabSheetPeer(static_cast<TTabSheet&>(control));
        case TControlKind::Edit:
            return CreateEditPeer(static_cast<TEdit&>(control));
        case TControlKind::UpDown:
            return CreateUpDownPeer(static_cast<TUpDown&>(control));
        case TControlKind::Memo:
            return CreateMemoPeer(static_cast<TMemo&>(control));
        case TControlKind::ProgressBar:
            return CreateProgressBarPeer(static_cast<TProgressBar&>(control));
        case TControlKind::PaintBox:
            return CreatePaintBoxPeer(static_cast<TPaintBox&>(control));
    }
    throw std::invalid_argument("no Win32 peer for control '" + control.Name() + "'");
}

// The task-bar button is the application window's: it shows the title, while each form's
// own caption stays in its title bar.
void TWin32Backend::TitleChanged(const std::string& title) {
    SetWindowTextA(application_, title.c_str());
}

HWND FormHandle(TForm* form) {
    return form ? PeerHandle(*form) : nullptr;
}

namespace {

bool Usable(HWND hwnd) {
    return hwnd && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd);
}

// Where an activation of the application window belongs: the window of ours the user was
// working with last (a form, or the message box or file dialog a form has open), else the
// main form.
HWND ActivationTarget(HWND application) {
    HWND popup = GetLastActivePopup(application);
    if (popup != application && Usable(popup)) return popup;
    HWND main = FormHandle(Application->MainForm());
    if (!main) return nullptr;
    popup = GetLastActivePopup(main);
    if (Usable(popup)) return popup;
    return Usable(main) ? main : nullptr;
}

}  // namespace

// The application window is never used itself: it only stands for the program on the task
// bar. Activating it (the task-bar button, Alt+Tab) activates our window instead, and its
// "Close window" asks the main form to close, exactly as the form's own close box does.
LRESULT CALLBACK ApplicationWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) PostMessageA(hwnd, kPassActivationMessage, 0, 0);
            break;
        case kPassActivationMessage:
            if (GetActiveWindow() == hwnd) {
                if (HWND target = ActivationTarget(hwnd)) SetActiveWindow(target);
            }
            return 0;
        case WM_CLOSE: {
            // While the main form is disabled (a message box or the file dialog is open) it
            // cannot be closed by the user either: show what it waits for instead.
            TForm* main = Application->MainForm();
            HWND form = FormHandle(main);
            if (form && IsWindowEnabled(form)) {
                main->UserClose();
            } else if (HWND target = ActivationTarget(hwnd)) {
                SetActiveWindow(target);
            }
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HDEVNOTIFY TWin32Backend::RegisterDeviceInterfaceNotification(TForm& form,
                                                              const GUID& interfaceClass) {
    auto* peer = static_cast<TFormPeer*>(form.Peer());
    return peer ? peer->RegisterDeviceInterface(interfaceClass) : nullptr;
}

}  // namespace ui::win32
