#include "ui/Forms.h"

#include "ui/Application.h"
#include "ui/Backend.h"

namespace ui {

// ---- TForm

TForm::TForm(TComponent* owner) : TWinControl(owner, nullptr, TControlKind::Form) {
    visible_ = false;
}

TForm::~TForm() {
    destroying_ = true;
    // The controls and components go first, while the form is still whole.
    DestroyComponents();
    activeControl_ = nullptr;
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
    if (style == borderStyle_) return;
    borderStyle_ = style;
    Changed(TProperty::Style);
}

void TForm::SetBorderIcons(unsigned icons) {
    if (icons == borderIcons_) return;
    borderIcons_ = icons;
    Changed(TProperty::Style);
}

void TForm::SetPosition(TPosition position) {
    if (position == position_) return;
    position_ = position;
    Changed(TProperty::Style);
}

void TForm::SetFont(const TFont& font) {
    if (font == font_) return;
    font_ = font;
    // The form first, then every control on it, parents before children.
    std::vector<TControl*> pending{this};
    while (!pending.empty()) {
        TControl* control = pending.front();
        pending.erase(pending.begin());
        control->Changed(TProperty::Font);
        if (auto* windowed = dynamic_cast<TWinControl*>(control)) {
            pending.insert(pending.end(), windowed->controls_.begin(), windowed->controls_.end());
        }
    }
}

void TForm::SetVisible(bool visible) {
    if (visible && !Visible()) {
        CreateWindowPeers();
        // The form shows even when OnShow fails; the error goes to the standard display.
        Guarded([this] { DoShow(); });
    }
    TWinControl::SetVisible(visible);
}

void TForm::Close() {
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone) return;
    bool mainForm = Application->MainForm() == this;
    if (action == caMinimize && !mainForm) return;
    Hide();
    if (mainForm) Application->Terminate();
}

bool TForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TForm::WndProc(TMessage& message) {
    if (Peer()) {
        Peer()->DefaultHandler(message);
    } else {
        message.Result = 0;
    }
}

void TForm::DeliverMessage(TMessage& message) {
    Guarded([this, &message] { WndProc(message); });
}

LRESULT TForm::DeliverMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage message{msg, wParam, lParam, 0};
    DeliverMessage(message);
    return message.Result;
}

LRESULT TForm::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage message{msg, wParam, lParam, 0};
    WndProc(message);
    return message.Result;
}

HDEVNOTIFY TForm::RegisterDeviceInterfaceNotification(const GUID& interfaceClass) {
    CreateWindowPeers();
    TBackend* backend = Application->Backend();
    if (!backend || !Peer()) return nullptr;
    return backend->RegisterDeviceInterfaceNotification(*this, interfaceClass);
}

void TForm::UserClose() {
    Guarded([this] { Close(); });
}

void TForm::CreateWindowPeers() {
    if (!destroying_) HandleNeeded();
}

void TForm::DoCreate() {
    if (OnCreate) OnCreate(this);
}

void TForm::DoShow() {
    if (OnShow) OnShow(this);
}

void TForm::DoClose(TCloseAction& action) {
    if (OnClose) OnClose(this, action);
}

void TForm::DoDestroy() {
    if (OnDestroy) OnDestroy(this);
}

void TForm::ControlGone(TControl* control) {
    if (activeControl_ == control) activeControl_ = nullptr;
}

// ---- TTimer

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
    Restart();
}

TTimer::~TTimer() {
    if (running_) {
        if (TBackend* backend = Application->Backend()) backend->StopTimer(*this);
    }
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Restart();
}

void TTimer::SetInterval(unsigned interval) {
    if (interval == interval_) return;
    interval_ = interval;
    Restart();
}

void TTimer::Restart() {
    TBackend* backend = Application->Backend();
    if (!backend) {
        running_ = false;
        return;
    }
    if (running_) backend->StopTimer(*this);
    running_ = enabled_ && interval_ > 0;
    if (running_) backend->StartTimer(*this);
}

void TTimer::Tick() {
    if (!enabled_) return;
    Guarded([this] {
        if (OnTimer) OnTimer(this);
    });
}

// ---- TOpenDialog

TOpenDialog::TOpenDialog(TComponent* owner) : TComponent(owner) {}

bool TOpenDialog::Execute() {
    TBackend* backend = Application->Backend();
    if (!backend) return false;
    TForm* owner = nullptr;
    for (TComponent* c = Owner(); c && !owner; c = c->Owner()) owner = dynamic_cast<TForm*>(c);
    if (!owner) owner = Application->MainForm();
    return backend->ExecuteOpenDialog(owner, *this);
}

}  // namespace ui
