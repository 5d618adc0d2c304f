#include <stdexcept>
#include <string>

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
    measureDc_ = CreateCompatibleDC(nullptr);
}

TWin32Backend::~TWin32Backend() {
    for (auto& entry : timers_) KillTimer(utility_, entry.first);
    SetWindowLongPtrA(utility_, GWLP_USERDATA, 0);
    DestroyWindow(utility_);
    DeleteDC(measureDc_);
    // Every window is gone by now (forms die before the back end): fonts can go.
    ReleaseFonts();
}

std::unique_ptr<TPeer> TWin32Backend::CreatePeer(TControl& control) {
    switch (control.Kind()) {
        case TControlKind::Form:
            return CreateFormPeer(static_cast<TForm&>(control));
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

// The task-bar button belongs to the form's own window and shows its caption; the title is
// kept as the message window's text only.
void TWin32Backend::TitleChanged(const std::string& title) {
    SetWindowTextA(utility_, title.c_str());
}

HWND FormHandle(TForm* form) {
    return form ? PeerHandle(*form) : nullptr;
}

HDEVNOTIFY TWin32Backend::RegisterDeviceInterfaceNotification(TForm& form,
                                                              const GUID& interfaceClass) {
    auto* peer = static_cast<TFormPeer*>(form.Peer());
    return peer ? peer->RegisterDeviceInterface(interfaceClass) : nullptr;
}

}  // namespace ui::win32
