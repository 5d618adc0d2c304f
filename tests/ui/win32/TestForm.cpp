#include "TestForm.h"

namespace qvtest {

TTestForm::TTestForm() {
    SetName("TestForm");
    SetCaption("Win32 back end test");
    SetBorderStyle(ui::bsDialog);
    SetBorderIcons(ui::biSystemMenu);
    SetPosition(ui::poScreenCenter);
    SetClientWidth(883);
    SetClientHeight(544);

    PortLabel = new ui::TLabel(this);
    PortLabel->SetBounds(8, 24, 137, 18);
    PortLabel->SetAlignment(ui::taRightJustify);
    PortLabel->SetCaption("Select COM Port");

    PortList = new ui::TListBox(this);
    PortList->SetBounds(160, 16, 345, 97);

    OpenButton = new ui::TButton(this);
    OpenButton->SetBounds(528, 16, 113, 33);
    OpenButton->SetCaption("Open");

    Pages = new ui::TPageControl(this);
    Pages->SetBounds(16, 128, 801, 329);
    DialSheet = new ui::TTabSheet(Pages);
    DialSheet->SetCaption("Speed dial setting");
    MixSheet = new ui::TTabSheet(Pages);
    MixSheet->SetCaption("A2DP music setting");

    DialEdit = new ui::TLabeledEdit(DialSheet);
    DialEdit->SetBounds(152, 40, 377, 21);
    DialEdit->EditLabel().SetCaption("Speed dial 1 ");

    NoteMemo = new ui::TMemo(DialSheet);
    NoteMemo->SetBounds(8, 192, 601, 105);
    NoteMemo->SetReadOnly(true);
    NoteMemo->SetBorderStyle(ui::bsNone);
    NoteMemo->SetColor(ui::clBtnFace);
    NoteMemo->SetTabStop(false);

    MixEdit = new ui::TLabeledEdit(MixSheet);
    MixEdit->SetBounds(324, 40, 49, 21);
    MixEdit->SetReadOnly(true);
    MixEdit->EditLabel().SetCaption("Mix");
    MixUpDown = new ui::TUpDown(MixSheet);
    MixUpDown->SetBounds(373, 40, 16, 21);
    MixUpDown->SetMin(1);
    MixUpDown->SetMax(100);
    MixUpDown->SetPosition(20);
    MixUpDown->SetAssociate(MixEdit);
    SharingUpDown = new ui::TUpDown(MixSheet);
    SharingUpDown->SetBounds(373, 88, 17, 21);
    SharingUpDown->SetMin(-1);
    SharingUpDown->SetMax(2);
    SharingUpDown->SetPosition(1);

    Progress = new ui::TProgressBar(MixSheet);
    Progress->SetBounds(8, 240, 769, 17);
    Progress->SetSmooth(true);
    Progress->SetStep(1);

    PaintBox = new ui::TPaintBox(this);
    PaintBox->SetBounds(16, 464, 801, 41);
    InfoLabel = new ui::TLabel(this);
    InfoLabel->SetBounds(16, 464, 793, 18);
    InfoLabel->SetCaption("Device info");

    Timer = new ui::TTimer(this);
    Timer->SetEnabled(false);
}

void TTestForm::WndProc(ui::TMessage& message) {
    ui::TForm::WndProc(message);
    if (message.Msg == WM_DEVICECHANGE) DeviceChanges.push_back(message);
}

void Win32Test::SetUp() {
    ui::Application->Initialize(ui::CreateWin32Backend());
    ui::Application->CreateForm(form_);
    form_->Show();
    ui::Application->ProcessMessages();
}

void Win32Test::TearDown() {
    ui::Application->Finalize();
}

void Win32Test::ClickAt(HWND hwnd, int x, int y) {
    LPARAM at = MAKELPARAM(x, y);
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(hwnd, WM_LBUTTONUP, 0, at);
}

}  // namespace qvtest
