// Choosing the firmware file: the file dialog, the engine's check of the file, the maker's
// mark in its comment, and the match of its name with the connected headset's model.
#include <cstring>
#include <string>

#include "app/Mainform.h"
#include "app/Texts.h"
#include "upgrade/FirmwareFileChecks.h"

namespace {

void ShowError(TMajorForm* form, int textId) {
    ui::Application->MessageBox(form, app::LoadText(textId), app::LoadText(30205),
                                MB_OK | MB_ICONERROR);
}

}  // namespace

void TMajorForm::OpenDfuFileButtonClick(ui::TObject*) {
    OpenDialog1->SetFileName(DfuFileName);
    if (!OpenDialog1->Execute()) return;
    const std::string chosen = OpenDialog1->FileName();
    // A path the field cannot hold is refused whole: a cut path would name another file.
    if (chosen.size() >= sizeof DfuFileName) {
        ShowError(this, 30215);
        return;
    }
    std::memcpy(DfuFileName, chosen.c_str(), chosen.size() + 1);
    ValidateFirmwareFile();
}

void TMajorForm::ValidateFirmwareFile() {
    // Without an engine no file can be checked, and none is accepted.
    const auto engineCheck = [this](const std::string& path, upgrade::FirmwareFileInfo& info) {
        char comment[DFU_FILE_COMMENT_SIZE] = {};
        if (DfuEngine == nullptr ||
            DFUEngine_IsDFUFileValid(DfuEngine, path.c_str(), comment, &info.vendor, &info.product,
                                     &info.release) == 0) {
            return false;
        }
        info.comment = comment;
        return true;
    };
    upgrade::FirmwareFileInfo info;
    const upgrade::FirmwareVerdict verdict =
        upgrade::CheckFirmwareFile(DfuFileName, engineCheck, info);
    if (verdict == upgrade::FirmwareVerdict::Invalid) {
        UpdateControlStates();
        DfuFileName[0] = '\0';
        DFUFileNameLabel->SetCaption("");
        ShowError(this, 30207);
        return;
    }
    if (verdict == upgrade::FirmwareVerdict::Accepted) {
        SetWrappedLabelText(DFUFileNameLabel, DfuFileName);
        UpdateControlStates();
        return;
    }
    DfuFileName[0] = '\0';
    DFUFileNameLabel->SetCaption("");
    UpdateControlStates();
    ShowError(this, 30210);
}

bool TMajorForm::FirmwareMatchesDevice() const {
    return upgrade::FirmwareNameMatchesModel(DfuFileName, DeviceName);
}
