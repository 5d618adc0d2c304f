// Which of the main window's controls the user can reach, from the port and upgrade state.
#include <initializer_list>

#include "app/Mainform.h"

void TMajorForm::UpdateControlStates() {
    if (UpgradeStage != 0) {
        // While an upgrade runs only the Exit button stays in the user's reach.
        for (ui::TControl* c : std::initializer_list<ui::TControl*>{
                 OpenComPortButton, CloseComPortButton, ComPortListBox, SelectComPortLabel,
                 PageControl1, OpenDfuFileButton, StartDFUUpgradeButton, RestoreDefaultButton}) {
            c->SetEnabled(false);
        }
        return;
    }
    for (ui::TControl* c : std::initializer_list<ui::TControl*>{OpenComPortButton, ComPortListBox,
                                                                SelectComPortLabel}) {
        c->SetEnabled(!PortOpen);
    }
    CloseComPortButton->SetEnabled(PortOpen);
    PageControl1->SetEnabled(true);
    for (ui::TControl* c : std::initializer_list<ui::TControl*>{
             SpeedDial1LabeledEdit, SpeedDial2LabeledEdit, SpeedDial3LabeledEdit,
             SaveSpeedDialSettingButton, A2DPAudioMixPercentageLabeledEdit,
             A2DPAudioMixPercentageUpDown, SaveA2dpAudioSettingButton,
             GPSAudioMixPercentageLabeledEdit, GPSAudioMixPercentageUpDown,
             GPSAudioSharingLabeledEdit, GPSAudioSharingUpDown, SaveGPSAudioSettingButton,
             OpenDfuFileButton, StartDFUUpgradeButton, RestoreDefaultButton, SpeedDialSettingMemo,
             A2DPAudioSettingMemo, GPSAudioSettingMemo}) {
        c->SetEnabled(PortOpen);
    }
    InfoLabel->Hide();
    ElapsedLabel->Hide();
    UpgradeProgressBar->Hide();
}
