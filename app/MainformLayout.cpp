// The window's layout: every control and component at its place, with its design-time state.
// Coordinates are Left, Top, Width, Height relative to the parent's client area.
#include "app/Mainform.h"
#include "device/protocol/SettingRules.h"

namespace {

template <class T, class Parent>
T* Place(Parent* parent, const char* name, int left, int top, int width, int height) {
    T* control = new T(parent);
    control->SetName(name);
    control->SetBounds(left, top, width, height);
    return control;
}

// A note pane on a settings page: read-only, no border, the page's colour, not a tab stop.
ui::TMemo* NotePane(ui::TTabSheet* page, const char* name) {
    auto* memo = Place<ui::TMemo>(page, name, 8, 192, 601, 105);
    memo->SetReadOnly(true);
    memo->SetBorderStyle(ui::bsNone);
    memo->SetColor(ui::clBtnFace);
    memo->SetTabStop(false);
    return memo;
}

// A page's Save button, at the same place on every settings page.
ui::TButton* SaveButton(ui::TTabSheet* page, const char* name) {
    return Place<ui::TButton>(page, name, 616, 248, 145, 41);
}

// A read-only value edit with its label, at the left of the page's up-down column.
ui::TLabeledEdit* ValueEdit(ui::TTabSheet* page, const char* name, int top, const char* text) {
    auto* edit = Place<ui::TLabeledEdit>(page, name, 324, top, 49, 21);
    edit->SetReadOnly(true);
    edit->SetText(text);
    return edit;
}

// A read-only percentage edit with an up-down bound to it (1..100, starting at 20).
ui::TUpDown* PercentageUpDown(ui::TTabSheet* page, const char* name, ui::TLabeledEdit* edit) {
    auto* upDown = Place<ui::TUpDown>(page, name, 373, 40, 16, 21);
    upDown->SetMin(device::kMinMixPercent);
    upDown->SetMax(device::kMaxMixPercent);
    upDown->SetPosition(20);
    upDown->SetWrap(false);
    upDown->SetAssociate(edit);
    return upDown;
}

}  // namespace

void TMajorForm::CreateControls() {
    using namespace ui;
    SetName("MajorForm");
    SetBorderStyle(bsDialog);
    SetBorderIcons(biSystemMenu);
    SetClientWidth(883);
    SetClientHeight(544);
    SetPosition(poScreenCenter);
    TFont font;  // "MS Sans Serif", height -11 (8 point), default character set
    SetFont(font);

    // Window controls, in tab order.
    SelectComPortLabel = Place<TLabel>(this, "SelectComPortLabel", 8, 24, 137, 18);
    SelectComPortLabel->SetAlignment(taRightJustify);
    ComPortListBox = Place<TListBox>(this, "ComPortListBox", 160, 16, 345, 97);
    ComPortListBox->SetItemHeight(13);
    OpenComPortButton = Place<TButton>(this, "OpenComPortButton", 528, 16, 113, 33);
    CloseComPortButton = Place<TButton>(this, "CloseComPortButton", 528, 80, 113, 33);
    PageControl1 = Place<TPageControl>(this, "PageControl1", 16, 128, 801, 329);
    RestoreDefaultButton = Place<TButton>(this, "RestoreDefaultButton", 424, 488, 177, 41);
    ExitButton = Place<TButton>(this, "ExitButton", 640, 488, 177, 41);
    // The communication log lies below the client area: it is never visible.
    InfoMemo = Place<TMemo>(this, "InfoMemo", 24, 560, 417, 97);
    InfoMemo->SetScrollBars(ssBoth);
    PaintBox1 = Place<TPaintBox>(this, "PaintBox1", 16, 464, 801, 41);
    DeviceInfoLabel = Place<TLabel>(this, "DeviceInfoLabel", 16, 464, 793, 18);
    DeviceInfoLabel->SetVisible(false);
    DeviceBdAddrInfoLabel = Place<TLabel>(this, "DeviceBdAddrInfoLabel", 16, 480, 441, 18);
    DeviceBdAddrInfoLabel->SetVisible(false);
    FWVerLabel = Place<TLabel>(this, "FWVerLabel", 16, 512, 217, 13);

    // Pages, in page order.
    SpeedDialSettingTabSheet = new TTabSheet(PageControl1);
    SpeedDialSettingTabSheet->SetName("SpeedDialSettingTabSheet");
    A2DPAudioSettingTabSheet = new TTabSheet(PageControl1);
    A2DPAudioSettingTabSheet->SetName("A2DPAudioSettingTabSheet");
    GPSAudioSettingTabSheet = new TTabSheet(PageControl1);
    GPSAudioSettingTabSheet->SetName("GPSAudioSettingTabSheet");
    DeviceFirmwareUpgradeTabSheet = new TTabSheet(PageControl1);
    DeviceFirmwareUpgradeTabSheet->SetName("DeviceFirmwareUpgradeTabSheet");

    // Speed-dial page.
    TTabSheet* page = SpeedDialSettingTabSheet;
    SpeedDial1LabeledEdit = Place<TLabeledEdit>(page, "SpeedDial1LabeledEdit", 152, 40, 377, 21);
    SpeedDial2LabeledEdit = Place<TLabeledEdit>(page, "SpeedDial2LabeledEdit", 152, 88, 377, 21);
    SpeedDial3LabeledEdit = Place<TLabeledEdit>(page, "SpeedDial3LabeledEdit", 152, 136, 377, 21);
    SaveSpeedDialSettingButton = SaveButton(page, "SaveSpeedDialSettingButton");
    SpeedDialSettingMemo = NotePane(page, "SpeedDialSettingMemo");

    // A2DP page.
    page = A2DPAudioSettingTabSheet;
    A2DPAudioMixPercentageLabeledEdit =
        ValueEdit(page, "A2DPAudioMixPercentageLabeledEdit", 40, "20");
    A2DPAudioMixPercentageUpDown =
        PercentageUpDown(page, "A2DPAudioMixPercentageUpDown", A2DPAudioMixPercentageLabeledEdit);
    SaveA2dpAudioSettingButton = SaveButton(page, "SaveA2dpAudioSettingButton");
    A2DPAudioSettingMemo = NotePane(page, "A2DPAudioSettingMemo");

    // GPS page.
    page = GPSAudioSettingTabSheet;
    GPSAudioMixPercentageLabeledEdit =
        ValueEdit(page, "GPSAudioMixPercentageLabeledEdit", 40, "20");
    GPSAudioMixPercentageUpDown =
        PercentageUpDown(page, "GPSAudioMixPercentageUpDown", GPSAudioMixPercentageLabeledEdit);
    GPSAudioSharingLabeledEdit = ValueEdit(page, "GPSAudioSharingLabeledEdit", 88, "");
    // Not bound to an edit: the sharing edit shows a word, not the position.
    GPSAudioSharingUpDown = Place<TUpDown>(page, "GPSAudioSharingUpDown", 373, 88, 17, 21);
    GPSAudioSharingUpDown->SetMin(-1);
    GPSAudioSharingUpDown->SetMax(2);
    GPSAudioSharingUpDown->SetPosition(1);
    GPSAudioSharingUpDown->SetWrap(false);
    SaveGPSAudioSettingButton = SaveButton(page, "SaveGPSAudioSettingButton");
    GPSAudioSettingMemo = NotePane(page, "GPSAudioSettingMemo");

    // Firmware-upgrade page (the Start button comes first in its tab order).
    page = DeviceFirmwareUpgradeTabSheet;
    OpenDfuFileButton = Place<TButton>(page, "OpenDfuFileButton", 8, 24, 209, 41);
    DFUFileNameLabel = Place<TLabel>(page, "DFUFileNameLabel", 232, 24, 553, 41);
    DFUFileNameLabel->SetWordWrap(true);
    DfuDeviceLabel = Place<TLabel>(page, "DfuDeviceLabel", 8, 72, 777, 18);
    ConfigInfoLabel = Place<TLabel>(page, "ConfigInfoLabel", 8, 96, 777, 18);
    BdAddrInfoLabel = Place<TLabel>(page, "BdAddrInfoLabel", 8, 120, 777, 18);
    StartDFUUpgradeButton = Place<TButton>(page, "StartDFUUpgradeButton", 8, 152, 209, 41);
    InfoLabel = Place<TLabel>(page, "InfoLabel", 8, 216, 625, 18);
    InfoLabel->SetCaption("Information");
    ElapsedLabel = Place<TLabel>(page, "ElapsedLabel", 640, 216, 137, 18);
    UpgradeProgressBar = Place<TProgressBar>(page, "UpgradeProgressBar", 8, 240, 769, 17);
    UpgradeProgressBar->SetMin(0);
    UpgradeProgressBar->SetMax(100);
    UpgradeProgressBar->SetSmooth(true);
    UpgradeProgressBar->SetStep(1);
    HintLabel = Place<TLabel>(page, "HintLabel", 8, 272, 769, 18);
    HintLabel->SetCaption("Hint");
    StartDFUUpgradeButton->SetTabOrder(0);
    OpenDfuFileButton->SetTabOrder(1);
    UpgradeProgressBar->SetTabOrder(2);

    // Components without a visible area.
    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->SetName("OpenDialog1");
    OpenDialog1->SetFilter("firmware file (*.dfu)|*.dfu");
    auto timer = [this](const char* name, unsigned interval) {
        auto* t = new TTimer(this);
        t->SetName(name);
        t->SetEnabled(false);
        t->SetInterval(interval);
        return t;
    };
    UartRespTimeoutTimer = timer("UartRespTimeoutTimer", 1000);
    ShowPromptTimer = timer("ShowPromptTimer", 100);
    ProgressTimer = timer("ProgressTimer", 100);
    StartDFUTimer = timer("StartDFUTimer", 10);
    DFUCloseComPortTimer = timer("DFUCloseComPortTimer", 1);

    ComPort1 = std::make_unique<TComPort>();
    ComPort1->SetDeviceName("COM2");
    ComPort1->SetOnRxChar([this](TCustomComPort* port) { ComPort1RxChar(port); });

    // Handlers.
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnCloseQuery = [this](TObject* s, bool& canClose) { FormCloseQuery(s, canClose); };
    OnClose = [this](TObject* s, TCloseAction& action) { FormClose(s, action); };
    ShowPromptTimer->OnTimer = [this](TObject* s) { ShowPromptTimerTimer(s); };
    ExitButton->OnClick = [this](TObject* s) { ExitButtonClick(s); };
    PaintBox1->OnClick = [this](TObject* s) { PaintBox1Click(s); };
    OpenComPortButton->OnClick = [this](TObject* s) { OpenComPortButtonClick(s); };
    CloseComPortButton->OnClick = [this](TObject* s) { CloseComPortButtonClick(s); };
    UartRespTimeoutTimer->OnTimer = [this](TObject* s) { UartRespTimeoutTimerTimer(s); };
    DFUCloseComPortTimer->OnTimer = [this](TObject* s) { DFUCloseComPortTimerTimer(s); };
    StartDFUTimer->OnTimer = [this](TObject* s) { StartDFUTimerTimer(s); };
    SpeedDial1LabeledEdit->OnChange = [this](TObject* s) { SpeedDial1LabeledEditChange(s); };
    SpeedDial2LabeledEdit->OnChange = [this](TObject* s) { SpeedDial2LabeledEditChange(s); };
    SpeedDial3LabeledEdit->OnChange = [this](TObject* s) { SpeedDial3LabeledEditChange(s); };
    A2DPAudioMixPercentageUpDown->OnChanging = [this](TObject* s, bool& allow) {
        A2DPAudioMixPercentageUpDownChanging(s, allow);
    };
    GPSAudioMixPercentageUpDown->OnChanging = [this](TObject* s, bool& allow) {
        GPSAudioMixPercentageUpDownChanging(s, allow);
    };
    GPSAudioSharingUpDown->OnChanging = [this](TObject* s, bool& allow) {
        GPSAudioSharingUpDownChanging(s, allow);
    };
    GPSAudioSharingUpDown->OnClick = [this](TObject* s, TUDBtnType button) {
        GPSAudioSharingUpDownClick(s, button);
    };
    SaveSpeedDialSettingButton->OnClick = [this](TObject* s) {
        SaveSpeedDialSettingButtonClick(s);
    };
    SaveA2dpAudioSettingButton->OnClick = [this](TObject* s) {
        SaveA2dpAudioSettingButtonClick(s);
    };
    SaveGPSAudioSettingButton->OnClick = [this](TObject* s) { SaveGPSAudioSettingButtonClick(s); };
    RestoreDefaultButton->OnClick = [this](TObject* s) { RestoreDefaultButtonClick(s); };
    PageControl1->OnChanging = [this](TObject* s, bool& allow) { PageControl1Changing(s, allow); };
    OpenDfuFileButton->OnClick = [this](TObject* s) { OpenDfuFileButtonClick(s); };
    StartDFUUpgradeButton->OnClick = [this](TObject* s) { StartDFUUpgradeButtonClick(s); };
    ProgressTimer->OnTimer = [this](TObject* s) { ProgressTimerTimer(s); };
}
