// The three settings pages: edits tracked until saved, validation of the speed dials, the
// save requests, the guard against leaving a page with unsaved edits, and the factory reset.
#include "app/Mainform.h"
#include "app/Texts.h"
#include "device/protocol/SettingRules.h"

void TMajorForm::SpeedDial1LabeledEditChange(ui::TObject*) {
    SpeedDialChanged = true;
}
void TMajorForm::SpeedDial2LabeledEditChange(ui::TObject*) {
    SpeedDialChanged = true;
}
void TMajorForm::SpeedDial3LabeledEditChange(ui::TObject*) {
    SpeedDialChanged = true;
}

void TMajorForm::A2DPAudioMixPercentageUpDownChanging(ui::TObject*, bool& allowChange) {
    A2dpMixChanged = true;
    allowChange = true;
}

void TMajorForm::GPSAudioMixPercentageUpDownChanging(ui::TObject*, bool& allowChange) {
    GpsSettingChanged = true;
    allowChange = true;
}

void TMajorForm::GPSAudioSharingUpDownChanging(ui::TObject*, bool& allowChange) {
    GpsSettingChanged = true;
    allowChange = true;
}

// The sharing arrows toggle: one step beyond either end turns into the other value.
void TMajorForm::GPSAudioSharingUpDownClick(ui::TObject*, ui::TUDBtnType) {
    if (GPSAudioSharingUpDown->Position() == 2) GPSAudioSharingUpDown->SetPosition(0);
    if (GPSAudioSharingUpDown->Position() == -1) GPSAudioSharingUpDown->SetPosition(1);
    ShowGpsSharingText();
}

void TMajorForm::ShowGpsSharingText() {
    GPSAudioSharingLabeledEdit->SetText(
        app::LoadText(GPSAudioSharingUpDown->Position() != 0 ? 20401 : 20402));
}

void TMajorForm::SaveSpeedDialSettingButtonClick(ui::TObject*) {
    for (ui::TLabeledEdit* edit :
         {SpeedDial1LabeledEdit, SpeedDial2LabeledEdit, SpeedDial3LabeledEdit}) {
        const device::SpeedDialProblem problem = device::CheckSpeedDial(edit->Text());
        if (problem != device::SpeedDialProblem::None) {
            const int message = problem == device::SpeedDialProblem::BadCharacter ? 20603 : 20604;
            ui::Application->MessageBox(this, app::LoadText(message), app::LoadText(30205),
                                        MB_OK | MB_ICONERROR);
            edit->SetFocus();
            return;
        }
    }
    // The chain sends what passed the tests: text typed while it runs only marks the page
    // edited again (its change event does), and waits for the next Save.
    SpeedDial1ToSend = SpeedDial1LabeledEdit->Text();
    SpeedDial2ToSend = SpeedDial2LabeledEdit->Text();
    SpeedDial3ToSend = SpeedDial3LabeledEdit->Text();
    PendingCommand = 21;
    SendCommand();
    // The page is saved once its request has gone out, before the headset answers. A request
    // that could not be written has been reported and ended (nothing is awaited any more):
    // the edits then stay marked as unsaved, so that leaving the page or closing the window
    // still asks before they are lost. The same holds for the other two pages.
    if (PendingCommand == 21) SpeedDialChanged = false;
}

void TMajorForm::SaveA2dpAudioSettingButtonClick(ui::TObject*) {
    PendingCommand = 24;
    SendCommand();
    if (PendingCommand == 24) A2dpMixChanged = false;
}

void TMajorForm::SaveGPSAudioSettingButtonClick(ui::TObject*) {
    PendingCommand = 25;
    SendCommand();
    if (PendingCommand == 25) GpsSettingChanged = false;
}

void TMajorForm::RestoreDefaultButtonClick(ui::TObject*) {
    const int answer = ui::Application->MessageBox(this, app::LoadText(20109), app::LoadText(30204),
                                                   MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    // The reset wipes every stored setting: only an explicit Yes starts it, never a box that
    // could not be shown.
    if (answer != IDYES) return;
    RestoreDefaultPending = true;
    PendingCommand = 27;
    SendCommand();
}

void TMajorForm::PageControl1Changing(ui::TObject*, bool& allowChange) {
    ui::TTabSheet* leaving = PageControl1->ActivePage();
    bool* changed = nullptr;
    if (leaving == SpeedDialSettingTabSheet) changed = &SpeedDialChanged;
    if (leaving == A2DPAudioSettingTabSheet) changed = &A2dpMixChanged;
    if (leaving == GPSAudioSettingTabSheet) changed = &GpsSettingChanged;
    if (changed == nullptr || !*changed) {
        allowChange = true;
        return;
    }
    const int answer = ui::Application->MessageBox(this, app::LoadText(20602), app::LoadText(30204),
                                                   MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    if (answer != IDYES) {
        allowChange = false;
        return;
    }
    // Back to the values last read from or sent to the headset; setting them raises the
    // controls' change events, so the flag is cleared afterwards.
    if (leaving == SpeedDialSettingTabSheet) {
        SpeedDial1LabeledEdit->SetText(SpeedDial1Saved);
        SpeedDial2LabeledEdit->SetText(SpeedDial2Saved);
        SpeedDial3LabeledEdit->SetText(SpeedDial3Saved);
    } else if (leaving == A2DPAudioSettingTabSheet) {
        A2DPAudioMixPercentageUpDown->SetPosition(A2dpMixPercent);
    } else {
        GPSAudioMixPercentageUpDown->SetPosition(GpsMixPercent);
        GPSAudioSharingUpDown->SetPosition(GpsVoiceSharing);
        ShowGpsSharingText();
    }
    *changed = false;
    allowChange = true;
}
