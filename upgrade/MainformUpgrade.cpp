// The firmware upgrade from the Start button to its end: the hand-over from the serial link,
// the wait for the DFU device, the three engine steps driven by the progress timer, and the
// endings (success with reconnection, failure with or without the engine's names).
#include <atomic>
#include <cstdio>
#include <cstring>

#include "app/Mainform.h"
#include "app/Texts.h"
#include "device/DeviceConfigLine.h"
#include "device/ports/PortTables.h"
#include "upgrade/enum/UsbWalk.h"
#include "upgrade/names/DfuNames.h"

namespace {

constexpr DWORD kDeviceWaitMs = 30000;
constexpr DWORD kDevicePollMs = 100;
constexpr DWORD kReconnectWaitMs = 15000;
constexpr int32_t kOperationDownloadVerify = 10;

// Engine steps started in this run: counted by the window thread just before it starts a step,
// read by the engine's threads. A progress notification that has to travel to the window
// thread carries the count of its own step: one still queued when the window has started the
// next step is dropped, rather than showing the old step's percentage under the new step's
// text on the bar the new step has just set to 0.
std::atomic<unsigned> g_stepsStarted{0};

void ShowBox(TMajorForm* form, int textId, int captionId, UINT icon) {
    ui::Application->MessageBox(form, app::LoadText(textId), app::LoadText(captionId),
                                MB_OK | icon);
}

void CopyToField(TTextField& field, const char* text) {
    const std::size_t n = strnlen(text, sizeof field - 1);
    std::memcpy(field, text, n);
    field[n] = '\0';
}

}  // namespace

void DFUBRIDGE_CALL DfuNotificationCallback(int32_t kind, const DfuStatusRecord* record) {
    if (MajorForm != nullptr && record != nullptr) MajorForm->HandleDfuNotification(kind, *record);
}

// ---- Start

void TMajorForm::StartDFUUpgradeButtonClick(ui::TObject*) {
    if (DfuEngine == nullptr) {
        // No engine was made at start-up: nothing can be upgraded.
        ShowBox(this, 30208, 30205, MB_ICONERROR);
        return;
    }
    ValidateFirmwareFile();
    if (DfuFileName[0] == '\0') return;
    if (!FirmwareMatchesDevice()) {
        ShowBox(this, 30214, 30205, MB_ICONERROR);
        return;
    }
    PendingCommand = 20;
    SendCommand();
}

void TMajorForm::DFUCloseComPortTimerTimer(ui::TObject*) {
    DFUCloseComPortTimer->SetEnabled(false);
    ClosePort();
    PortSessionActive = 0;
}

void TMajorForm::StartDFUTimerTimer(ui::TObject*) {
    StartDFUTimer->SetEnabled(false);
    ui::SetCurrentCursor(SavedCursor);
    StartDfuEngine();
}

void TMajorForm::StartDfuEngine() {
    CheckUsbDevice();
    if (!UsbDevicePresent) return;
    ClosePort();
    PortSessionActive = 0;
    if (!CallbackRegistered) {
        DFUEngine_SetCallback(DfuEngine, DfuNotificationCallback);
        CallbackRegistered = true;
    }
    bool outcome = DFUEngine_CreateUSB(DfuEngine, UsbDeviceName) != 0;
    if (outcome) {
        InfoLabel->SetCaption(app::LoadText(30201));
        InfoLabel->Show();
        UpgradeProgressBar->SetPosition(0);
        UpgradeProgressBar->Show();
        ElapsedLabel->SetCaption("");
        ElapsedLabel->Show();
        UpgradeStage = 1;
        ProgressTimer->SetEnabled(true);
        UpgradeStartTick = ui::TickCount();
        UpgradeResult = 0;
        UpgradeOperation = 0;
        UpgradeSubOperation = 0;
        StepCompleted = false;
        ++g_stepsStarted;
        outcome = DFUEngine_StartReconfigure(DfuEngine, 0, 1, DfuFileName) != 0;
    }
    UpdateControlStates();
    if (!outcome) {
        ProgressTimer->SetEnabled(false);
        ShowBox(this, 30208, 30205, MB_ICONERROR);
        UpgradeStage = 0;
        UpdateControlStates();
    }
}

// ---- The DFU device

void TMajorForm::CheckUsbDevice() {
    char names[DFU_DEVICE_NAME_SLOTS * DFU_DEVICE_NAME_SLOT] = {};
    SavedCursor = ui::SetCurrentCursor(ui::LoadSystemCursor(IDC_WAIT));
    int32_t count = 0;
    const DWORD start = ui::TickCount();
    // The window does not process messages while it waits (at most about 30 s).
    while (ui::TickCount() - start < kDeviceWaitMs) {
        count = DFUEngine_GetUSBDeviceNames(DfuEngine, names);
        if (count != 0) break;
        ui::SleepMs(kDevicePollMs);
    }
    ui::SetCurrentCursor(SavedCursor);
    if (count == 0) {
        DfuDeviceLabel->SetCaption("");
        ConfigInfoLabel->SetCaption("");
        BdAddrInfoLabel->SetCaption("");
        UsbDevicePresent = false;
        UpdateControlStates();
        if (NoDeviceWarning) ShowBox(this, 30206, 30204, MB_ICONWARNING);
        return;
    }
    // Only the first device is used.
    DfuDeviceLabel->SetCaption(names);
    CopyToField(UsbDeviceName, names);
    std::memset(upgrade::DeviceConfigText, 0, sizeof upgrade::DeviceConfigText);
    upgrade::WalkUsbDeviceTree();
    if (upgrade::DeviceConfigText[0] != '\0') {
        ConfigInfoLabel->SetCaption(device::DeviceConfigLine(upgrade::DeviceConfigText));
        if (DeviceBdAddress[0] != '\0')
            BdAddrInfoLabel->SetCaption(app::LoadText(30233) + " : " + DeviceBdAddress);
    } else {
        ConfigInfoLabel->SetCaption("");
    }
    DfuDeviceLabel->Update();
    ConfigInfoLabel->Update();
    BdAddrInfoLabel->Update();
    UsbDevicePresent = true;
    UpdateControlStates();
}

// ---- Notifications from the engine

void TMajorForm::HandleDfuNotification(int32_t kind, const DfuStatusRecord& record) {
    switch (kind) {
        case 1:
            if (ui::TWindowThread::IsCurrent()) {
                ShowProgress(record);
            } else {
                // The display belongs to the window thread: the record travels there by copy.
                DfuStatusRecord copy = record;
                const unsigned step = g_stepsStarted.load();
                ui::TWindowThread::Post([copy, step] {
                    if (MajorForm != nullptr && g_stepsStarted.load() == step)
                        MajorForm->ShowProgress(copy);
                });
            }
            return;
        case 2:
            // Only recorded here; the progress timer acts on it on the window thread.
            UpgradeResult = record.result;
            UpgradeOperation = record.operation;
            UpgradeSubOperation = record.subOperation;
            StepCompleted = true;
            return;
        default:
            return;
    }
}

void TMajorForm::ShowProgress(const DfuStatusRecord& record) {
    int stageText = 0;
    switch (UpgradeStage) {
        case 1:
            stageText = 30201;
            break;
        case 2:
            stageText = 30202;
            break;
        case 3:
            stageText = 30203;
            break;
        default:
            return;  // no step runs: nothing to show progress for
    }
    char line[256];
    std::snprintf(line, sizeof line, "%s %d%%", app::LoadText(stageText).c_str(), record.percent);
    std::string status = line;
    if (record.operation == kOperationDownloadVerify) {
        std::snprintf(line, sizeof line, ", %s", app::LoadText(30213).c_str());
        status += line;
    }
    InfoLabel->SetCaption(status.substr(0, 255));
    if (UpgradeProgressBar->Position() != record.percent) {
        UpgradeProgressBar->SetPosition(record.percent);
        UpgradeProgressBar->Update();
    }
}

// ---- Step sequencing and endings

void TMajorForm::ProgressTimerTimer(ui::TObject*) {
    if (UpgradeStage != 0) {
        const DWORD elapsed = (ui::TickCount() - UpgradeStartTick) / 1000;
        char text[256];
        std::snprintf(text, sizeof text, "%s: %d:%02d", app::LoadText(30234).c_str(),
                      static_cast<int>(elapsed / 60), static_cast<int>(elapsed % 60));
        ElapsedLabel->SetCaption(text);
    }
    if (!StepCompleted) return;
    if (UpgradeResult != 0) {
        ProgressTimer->SetEnabled(false);
        char text[256];
        std::snprintf(text, sizeof text, app::LoadText(30209).c_str(),
                      upgrade::ResultName(UpgradeResult), upgrade::OperationName(UpgradeOperation),
                      upgrade::SubOperationName(UpgradeSubOperation));
        ui::Application->MessageBox(this, text, app::LoadText(30205), MB_OK | MB_ICONERROR);
        FailureReset();
        return;
    }
    switch (UpgradeStage) {
        case 1:
            InfoLabel->SetCaption(app::LoadText(30202));
            InfoLabel->Show();
            UpgradeProgressBar->SetPosition(0);
            UpgradeProgressBar->Show();
            UpgradeStage = 2;
            StepCompleted = false;
            ++g_stepsStarted;
            StepStarted(DFUEngine_StartDownload(DfuEngine, DfuFileName) != 0);
            return;
        case 2:
            InfoLabel->SetCaption(app::LoadText(30203));
            InfoLabel->Show();
            UpgradeProgressBar->SetPosition(0);
            UpgradeProgressBar->Show();
            UpgradeStage = 3;
            StepCompleted = false;
            ++g_stepsStarted;
            StepStarted(DFUEngine_StartManifest(DfuEngine) != 0);
            return;
        case 3: {
            ProgressTimer->SetEnabled(false);
            char text[256];
            std::snprintf(text, sizeof text, "%s %d%%", app::LoadText(30203).c_str(), 100);
            InfoLabel->SetCaption(text);
            UpgradeProgressBar->SetPosition(100);
            ShowBox(this, 30211, 30204, MB_ICONINFORMATION);
            UpgradeStage = 0;
            UpdateControlStates();
            ReconnectAfterUpgrade();
            return;
        }
        default:
            return;
    }
}

void TMajorForm::StepStarted(bool outcome) {
    UpdateControlStates();
    if (outcome) return;
    ProgressTimer->SetEnabled(false);
    ShowBox(this, 30208, 30205, MB_ICONERROR);
    FailureReset();
}

void TMajorForm::FailureReset() {
    UpgradeStage = 0;
    NoDeviceWarning = false;
    UpdateControlStates();
    CheckUsbDevice();  // refreshes the device lines; no warning when the headset has gone
    UpdateControlStates();
    NoDeviceWarning = true;
}

// The headset comes back on its serial side after manifestation: its port (found by the
// description it had) is opened again, which reads the new firmware version.
void TMajorForm::ReconnectAfterUpgrade() {
    SavedCursor = ui::SetCurrentCursor(ui::LoadSystemCursor(IDC_WAIT));
    const DWORD start = ui::TickCount();
    while (ui::TickCount() - start < kReconnectWaitMs) {
        // Device arrivals refresh the port list meanwhile.
        for (int i = 0; i < 100; ++i) ui::Application->ProcessMessages();
        // The user closed the window meanwhile: the program is ending. Opening the port now
        // would talk to the headset from a window that is gone and keep the port from the
        // next run until the wait ran out.
        if (ui::Application->Terminated()) break;
        ui::SetCurrentCursor(ui::LoadSystemCursor(IDC_WAIT));
        bool found = false;
        for (int32_t i = 0; i < device::ListedPortCount; ++i) {
            if (IsOpenedPort(device::ListedPortNames[i], device::ListedPortDescriptions[i])) {
                ComPortListBox->SetItemIndex(i);
                OpenComPortButton->Click();
                found = true;
                break;
            }
        }
        if (found) break;
        // A short rest between rounds keeps the wait from spinning a processor core.
        ui::SleepMs(10);
    }
    ui::SetCurrentCursor(SavedCursor);
}
