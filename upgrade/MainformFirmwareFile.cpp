// Choosing the firmware file: the file dialog, the engine's check of the file, the maker's
// mark in its comment, and the match of its name with the connected headset's model.
#include <cstring>
#include <string>

#include "app/Mainform.h"
#include "app/Texts.h"
#include "upgrade/filename/FirmwareFileName.h"

namespace {

// Upper case of the ASCII letters; other bytes (and double-byte characters) stay as they are.
std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

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
    char comment[DFU_FILE_COMMENT_SIZE] = {};
    uint32_t vendor = 0, product = 0, release = 0;
    // Without an engine no file can be checked, and none is accepted.
    const bool valid =
        DfuEngine != nullptr &&
        DFUEngine_IsDFUFileValid(DfuEngine, DfuFileName, comment, &vendor, &product, &release) != 0;
    if (!valid) {
        UpdateControlStates();
        DfuFileName[0] = '\0';
        DFUFileNameLabel->SetCaption("");
        ShowError(this, 30207);
        return;
    }
    const std::string mark = UpperAscii(comment);
    if (mark.find("QUORVANE") != std::string::npos || mark.find("QUOR VANE") != std::string::npos) {
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
    // The path is in the code page the window's texts are in: the ANSI code page on Windows,
    // UTF-8 in the portable build.
#ifdef _WIN32
    constexpr upgrade::CodePage pathCodePage = upgrade::kCodePageAnsi;
#else
    constexpr upgrade::CodePage pathCodePage = upgrade::kCodePageUtf8;
#endif
    return upgrade::FileNameMatchesModel(pathCodePage, DfuFileName, DeviceName);
}
