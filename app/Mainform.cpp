// The shell of the main window: start-up, the start-up prompt, the close rules, device
// arrival and removal, the hidden device-information strip and label wrapping.
#include "app/Mainform.h"

#include <cstring>

#include "app/SettingsFile.h"
#include "app/Texts.h"
#include "device/ports/ComPortList.h"
#include "device/ports/PortTables.h"

TMajorForm* MajorForm = nullptr;
bool FirstShow = true;

namespace {

// USB device interface class, for arrival and removal notifications of USB devices.
const GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

constexpr UINT kDeviceArrival = 0x8000;
constexpr UINT kDeviceRemoveComplete = 0x8004;
constexpr int kLeftShift = 0xA0;
constexpr int kRightShift = 0xA1;

// Copies text into a fixed field, cut to the field (the callers' texts fit).
void CopyToField(TTextField& field, const std::string& text) {
    std::size_t n = text.size() < sizeof field - 1 ? text.size() : sizeof field - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

}  // namespace

TMajorForm::TMajorForm() {
    CreateControls();
}

TMajorForm::~TMajorForm() {
    if (MajorForm == this) MajorForm = nullptr;
}

void TMajorForm::FormCreate(ui::TObject*) {
    using app::LoadText;
    // 1. Captions.
    SelectComPortLabel->SetCaption(LoadText(20101));
    OpenComPortButton->SetCaption(LoadText(20102));
    CloseComPortButton->SetCaption(LoadText(20103));
    SpeedDialSettingTabSheet->SetCaption(LoadText(20201));
    A2DPAudioSettingTabSheet->SetCaption(LoadText(20202));
    GPSAudioSettingTabSheet->SetCaption(LoadText(20204));
    DeviceFirmwareUpgradeTabSheet->SetCaption(LoadText(20206));
    SpeedDial1LabeledEdit->EditLabel().SetCaption(LoadText(20301));
    SpeedDial2LabeledEdit->EditLabel().SetCaption(LoadText(20302));
    SpeedDial3LabeledEdit->EditLabel().SetCaption(LoadText(20303));
    A2DPAudioMixPercentageLabeledEdit->EditLabel().SetCaption(LoadText(20304));
    GPSAudioMixPercentageLabeledEdit->EditLabel().SetCaption(LoadText(20306));
    GPSAudioSharingLabeledEdit->EditLabel().SetCaption(LoadText(20307));
    // 2. The sharing edit shows the word for the start position.
    ShowGpsSharingText();
    // 3.
    SaveSpeedDialSettingButton->SetCaption(LoadText(30103));
    SaveGPSAudioSettingButton->SetCaption(LoadText(30103));
    SaveA2dpAudioSettingButton->SetCaption(LoadText(30103));
    // 4.
    PageControl1->SetActivePage(SpeedDialSettingTabSheet);
    // 5. The note panes, line by line; empty lines are kept.
    {
        ui::TStringList lines;
        lines.SetText(LoadText(20605));
        SpeedDialSettingMemo->Lines().AddStrings(lines);
        lines.SetText(LoadText(20606));
        A2DPAudioSettingMemo->Lines().AddStrings(lines);
        lines.SetText(LoadText(20608));
        GPSAudioSettingMemo->Lines().AddStrings(lines);
    }
    // 6, 7.
    PendingCommand = 9999;
    DfuEngine = DFUEngine_Create();
    // 8, 9.
    InfoLabel->Hide();
    ElapsedLabel->Hide();
    HintLabel->Hide();
    UpgradeProgressBar->Hide();
    ConfigInfoLabel->SetCaption("");
    BdAddrInfoLabel->SetCaption("");
    DeviceInfoLabel->Hide();
    DeviceInfoLabel->SetCaption("");
    DeviceBdAddrInfoLabel->Hide();
    DeviceBdAddrInfoLabel->SetCaption("");
    // 10.
    NoDeviceWarning = true;
    // 11, 12. Caption and the buttons of the lower part.
    const std::string programName = LoadText(20001);
    const std::string startText = LoadText(30102);
    const std::string openFileText = LoadText(30101);
    const std::string exitText = LoadText(30105);
    const std::string restoreText = LoadText(30104);
    SetCaption(programName + ", " + "V1.00");
    StartDFUUpgradeButton->SetCaption(startText);
    OpenDfuFileButton->SetCaption(openFileText);
    ExitButton->SetCaption(exitText);
    RestoreDefaultButton->SetCaption(restoreText);
    // 13. The window font follows the catalogue's language.
    {
        char language[1024] = {};
        std::string name = LoadText(20000);
        std::memcpy(language, name.data(), name.size() < 1023 ? name.size() : 1023);
        ui::TFont font = Font();
        if (std::strstr(language, "Japanese") != nullptr) {
            font.Charset = 128;  // Shift-JIS
            font.SetSize(10);
        } else if (std::strstr(language, "Traditional Chinese") != nullptr) {
            font.Charset = 136;  // Big5
            font.SetSize(10);
        } else {
            font.Charset = 1;  // default
        }
        SetFont(font);
    }
    // 14, 15. The port list, with a USB port preselected.
    RefreshComPortList();
    SelectUsbPort();
    // 16.
    ui::Application->SetTitle(programName);
    // 17. The firmware file remembered from the last run.
    {
        std::string stored = app::ReadStoredFirmwareFile(&IniFilePath);
        // A remembered path that does not fit the field is dropped rather than cut: a cut path
        // would name another file.
        if (stored.size() >= sizeof DfuFileName) stored.clear();
        SetWrappedLabelText(DFUFileNameLabel, stored);
        CopyToField(DfuFileName, stored);
    }
    // 18. Device arrival and removal notifications for USB devices.
    DeviceNotifyHandle = RegisterDeviceInterfaceNotification(kUsbDeviceInterface);
    // 19.
    UpdateControlStates();
}

void TMajorForm::FormShow(ui::TObject*) {
    if (FirstShow) {
        FirstShow = false;
        ShowPromptTimer->SetEnabled(true);
    }
}

void TMajorForm::ShowPromptTimerTimer(ui::TObject*) {
    ShowPromptTimer->SetEnabled(false);
    ui::Application->MessageBox(this, app::LoadText(20106), app::LoadText(30204),
                                MB_OK | MB_ICONINFORMATION);
}

void TMajorForm::FormCloseQuery(ui::TObject*, bool& canClose) {
    const UINT note = MB_ICONWARNING;
    if (UpgradeStage != 0) {
        ui::Application->MessageBox(this, app::LoadText(30212), app::LoadText(30204), MB_OK | note);
        canClose = false;
    } else if (PendingCommand != 9999) {
        ui::Application->MessageBox(this, app::LoadText(20601), app::LoadText(30204), MB_OK | note);
        canClose = false;
    } else if (SpeedDialChanged || A2dpMixChanged || GpsSettingChanged) {
        canClose = ui::Application->MessageBox(this, app::LoadText(20602), app::LoadText(30204),
                                               MB_YESNO | MB_DEFBUTTON2 | note) == IDYES;
    } else {
        canClose = true;
    }
}

void TMajorForm::FormClose(ui::TObject*, ui::TCloseAction&) {
    if (DfuEngine != nullptr) {
        DFUEngine_Destroy(DfuEngine);
        DfuEngine = nullptr;
    }
    ProgressTimer->SetEnabled(false);
    // The program ends even when the settings cannot be written (the engine is already gone):
    // the user sees which file could not be written and nothing else is lost.
    try {
        app::WriteStoredFirmwareFile(IniFilePath, DfuFileName);
    } catch (const app::ESettingsWriteError& e) {
        ui::Application->ShowException(e);
    }
}

void TMajorForm::ExitButtonClick(ui::TObject*) {
    Close();
}

void TMajorForm::PaintBox1Click(ui::TObject*) {
    BYTE keys[256] = {};
    ui::ReadKeyboardState(keys);
    if ((keys[kLeftShift] & 0x80) != 0 || (keys[kRightShift] & 0x80) != 0) {
        DeviceInfoLabel->Show();
        DeviceBdAddrInfoLabel->Show();
    }
}

void TMajorForm::WndProc(ui::TMessage& message) {
    ui::TForm::WndProc(message);
    if (message.Msg == WM_DEVICECHANGE) HandleDeviceChange(message);
}

void TMajorForm::HandleDeviceChange(ui::TMessage& message) {
    switch (static_cast<UINT>(message.WParam)) {
        case kDeviceArrival:
            if (PortSessionActive != 0) return;
            RefreshComPortList();
            SelectUsbPort();
            return;
        case kDeviceRemoveComplete:
            device::SnapshotComPorts();
            if (PortActive() && device::SnapshotPortCount != device::ListedPortCount) {
                bool stillThere = false;
                for (int32_t i = 0; i < device::SnapshotPortCount; ++i) {
                    if (IsOpenedPort(device::SnapshotPortNames[i],
                                     device::SnapshotPortDescriptions[i])) {
                        stillThere = true;
                        break;
                    }
                }
                if (!stillThere) DisconnectDevice();
            }
            if (PortSessionActive == 0) RefreshComPortList();
            return;
        default:
            return;
    }
}

void TMajorForm::SetWrappedLabelText(ui::TLabel* label, const std::string& text) {
    std::string output;
    output.reserve(2 * text.size() + 1);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = output.size();
        const std::size_t length = ui::CharLength(text, pos);
        output.append(text, pos, length);
        pos += length;
        const std::size_t lineStart = output.rfind('\n');
        const std::string lastLine =
            lineStart == std::string::npos ? output : output.substr(lineStart + 1);
        if (label->TextWidth(lastLine) > label->Width()) output.insert(start, 1, '\n');
    }
    label->SetCaption(output);
}
