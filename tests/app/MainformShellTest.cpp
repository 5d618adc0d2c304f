// The shell of the main window on the headless back end: start-up, prompt, close rules,
// device changes, the hidden strip and label wrapping.
#include <cstdlib>
#include <cstring>
#include <ostream>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "app/SettingsFile.h"
#include "app/Texts.h"
#include "device/ports/PortTables.h"
#include "tests/app/FakeBridge.h"
#include "tests/app/MainformTestFixture.h"

namespace {

using app::kLanguageChineseTraditional;
using app::kLanguageEnglish;

TEST_F(MainformTest, EnglishStartUpFillsEveryCaptionAndKeepsTheSmallFont) {
    OpenMainWindow(kLanguageEnglish);
    EXPECT_EQ(form->Caption(), "KX-V5 Tool Program, V1.00");
    EXPECT_EQ(headless->Title(), "KX-V5 Tool Program");
    EXPECT_EQ(form->Font().Charset, 1);
    EXPECT_EQ(form->Font().Size(), 8);
    EXPECT_EQ(form->Font().Name, "MS Sans Serif");
    EXPECT_EQ(form->SelectComPortLabel->Caption(), "Select COM Port");
    EXPECT_EQ(form->OpenComPortButton->Caption(), "Open COM Port");
    EXPECT_EQ(form->CloseComPortButton->Caption(), "Close COM Port");
    const char* tabs[] = {"Speed dial setting", "A2DP music setting", "GPS audio setting",
                          "Firmware upgrade"};
    ASSERT_EQ(form->PageControl1->PageCount(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(form->PageControl1->Pages(i)->Caption(), tabs[i]);
    EXPECT_EQ(form->PageControl1->ActivePage(), form->SpeedDialSettingTabSheet);
    EXPECT_EQ(form->SpeedDial2LabeledEdit->EditLabel().Caption(), "Speed dial 2 ");
    EXPECT_EQ(form->GPSAudioSharingLabeledEdit->EditLabel().Caption(), "GPS audio sharing ");
    EXPECT_EQ(form->GPSAudioSharingLabeledEdit->Text(), "Yes");
    EXPECT_EQ(form->SaveGPSAudioSettingButton->Caption(), "Save");
    EXPECT_EQ(form->StartDFUUpgradeButton->Caption(), "Start firmware upgrade");
    EXPECT_EQ(form->OpenDfuFileButton->Caption(), "Select firmware file...");
    EXPECT_EQ(form->ExitButton->Caption(), "Exit");
    EXPECT_EQ(form->RestoreDefaultButton->Caption(), "Restore default settings");
    EXPECT_EQ(form->PendingCommand, 9999);
    EXPECT_TRUE(form->NoDeviceWarning);
    EXPECT_EQ(fake_bridge::state.creates, 1);
    EXPECT_EQ(form->DfuEngine, fake_bridge::state.createResult);
    for (ui::TControl* hidden : {static_cast<ui::TControl*>(form->InfoLabel),
                                 static_cast<ui::TControl*>(form->ElapsedLabel),
                                 static_cast<ui::TControl*>(form->HintLabel),
                                 static_cast<ui::TControl*>(form->UpgradeProgressBar),
                                 static_cast<ui::TControl*>(form->DeviceInfoLabel),
                                 static_cast<ui::TControl*>(form->DeviceBdAddrInfoLabel)}) {
        EXPECT_FALSE(hidden->Visible()) << hidden->Name();
    }
}

// Every control at its place, on its parent, in its tab order (-1: not a windowed control).
TEST_F(MainformTest, EveryControlSitsAtItsPlaceInItsTabOrder) {
    OpenMainWindow(kLanguageEnglish);
    struct Place {
        ui::TControl* control;
        ui::TWinControl* parent;
        int left, top, width, height, tab;
    };
    TMajorForm* f = form;
    ui::TWinControl* speed = f->SpeedDialSettingTabSheet;
    ui::TWinControl* a2dp = f->A2DPAudioSettingTabSheet;
    ui::TWinControl* gps = f->GPSAudioSettingTabSheet;
    ui::TWinControl* fw = f->DeviceFirmwareUpgradeTabSheet;
    const Place places[] = {
        {f->SelectComPortLabel, f, 8, 24, 137, 18, -1},
        {f->ComPortListBox, f, 160, 16, 345, 97, 0},
        {f->OpenComPortButton, f, 528, 16, 113, 33, 1},
        {f->CloseComPortButton, f, 528, 80, 113, 33, 2},
        {f->PageControl1, f, 16, 128, 801, 329, 3},
        {f->RestoreDefaultButton, f, 424, 488, 177, 41, 4},
        {f->ExitButton, f, 640, 488, 177, 41, 5},
        {f->InfoMemo, f, 24, 560, 417, 97, 6},
        {f->PaintBox1, f, 16, 464, 801, 41, -1},
        {f->DeviceInfoLabel, f, 16, 464, 793, 18, -1},
        {f->DeviceBdAddrInfoLabel, f, 16, 480, 441, 18, -1},
        {f->FWVerLabel, f, 16, 512, 217, 13, -1},
        {f->SpeedDial1LabeledEdit, speed, 152, 40, 377, 21, 0},
        {f->SpeedDial2LabeledEdit, speed, 152, 88, 377, 21, 1},
        {f->SpeedDial3LabeledEdit, speed, 152, 136, 377, 21, 2},
        {f->SaveSpeedDialSettingButton, speed, 616, 248, 145, 41, 3},
        {f->SpeedDialSettingMemo, speed, 8, 192, 601, 105, 4},
        {f->A2DPAudioMixPercentageLabeledEdit, a2dp, 324, 40, 49, 21, 0},
        {f->A2DPAudioMixPercentageUpDown, a2dp, 373, 40, 16, 21, 1},
        {f->SaveA2dpAudioSettingButton, a2dp, 616, 248, 145, 41, 2},
        {f->A2DPAudioSettingMemo, a2dp, 8, 192, 601, 105, 3},
        {f->GPSAudioMixPercentageLabeledEdit, gps, 324, 40, 49, 21, 0},
        {f->GPSAudioMixPercentageUpDown, gps, 373, 40, 16, 21, 1},
        {f->GPSAudioSharingLabeledEdit, gps, 324, 88, 49, 21, 2},
        {f->GPSAudioSharingUpDown, gps, 373, 88, 17, 21, 3},
        {f->SaveGPSAudioSettingButton, gps, 616, 248, 145, 41, 4},
        {f->GPSAudioSettingMemo, gps, 8, 192, 601, 105, 5},
        {f->OpenDfuFileButton, fw, 8, 24, 209, 41, 1},
        {f->DFUFileNameLabel, fw, 232, 24, 553, 41, -1},
        {f->DfuDeviceLabel, fw, 8, 72, 777, 18, -1},
        {f->ConfigInfoLabel, fw, 8, 96, 777, 18, -1},
        {f->BdAddrInfoLabel, fw, 8, 120, 777, 18, -1},
        {f->StartDFUUpgradeButton, fw, 8, 152, 209, 41, 0},
        {f->InfoLabel, fw, 8, 216, 625, 18, -1},
        {f->ElapsedLabel, fw, 640, 216, 137, 18, -1},
        {f->UpgradeProgressBar, fw, 8, 240, 769, 17, 2},
        {f->HintLabel, fw, 8, 272, 769, 18, -1},
    };
    for (const Place& p : places) {
        SCOPED_TRACE(p.control->Name());
        EXPECT_EQ(p.control->Parent(), p.parent);
        EXPECT_EQ(p.control->Left(), p.left);
        EXPECT_EQ(p.control->Top(), p.top);
        EXPECT_EQ(p.control->Width(), p.width);
        EXPECT_EQ(p.control->Height(), p.height);
        auto* windowed = dynamic_cast<ui::TWinControl*>(p.control);
        EXPECT_EQ(windowed != nullptr, p.tab >= 0);
        if (windowed != nullptr) {
            EXPECT_EQ(windowed->TabOrder(), p.tab);
        }
    }
    EXPECT_EQ(f->ClientWidth(), 883);
    EXPECT_EQ(f->ClientHeight(), 544);
    EXPECT_EQ(f->BorderStyle(), ui::bsDialog);
    EXPECT_EQ(f->BorderIcons(), ui::biSystemMenu);
    EXPECT_EQ(f->Position(), ui::poScreenCenter);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(f->PageControl1->Pages(i)->Parent(), f->PageControl1);
    EXPECT_EQ(f->PageControl1->Pages(0), f->SpeedDialSettingTabSheet);
    EXPECT_EQ(f->PageControl1->Pages(3), f->DeviceFirmwareUpgradeTabSheet);
    // The note panes are read-only, borderless, in the page's colour and out of the tab order.
    for (ui::TMemo* memo :
         {f->SpeedDialSettingMemo, f->A2DPAudioSettingMemo, f->GPSAudioSettingMemo}) {
        EXPECT_TRUE(memo->ReadOnly());
        EXPECT_EQ(memo->BorderStyle(), ui::bsNone);
        EXPECT_EQ(memo->Color(), ui::clBtnFace);
        EXPECT_FALSE(memo->TabStop());
    }
    EXPECT_EQ(f->InfoMemo->ScrollBars(), ui::ssBoth);
    EXPECT_EQ(f->SelectComPortLabel->Alignment(), ui::taRightJustify);
    EXPECT_TRUE(f->DFUFileNameLabel->WordWrap());
    EXPECT_EQ(f->ComPortListBox->ItemHeight(), 13);
    // The up-downs: the percentages bound to their edits, the sharing one free.
    for (ui::TUpDown* upDown : {f->A2DPAudioMixPercentageUpDown, f->GPSAudioMixPercentageUpDown}) {
        EXPECT_EQ(upDown->Min(), 1);
        EXPECT_EQ(upDown->Max(), 100);
        EXPECT_EQ(upDown->Position(), 20);
        EXPECT_FALSE(upDown->Wrap());
    }
    EXPECT_EQ(f->A2DPAudioMixPercentageUpDown->Associate(), f->A2DPAudioMixPercentageLabeledEdit);
    EXPECT_EQ(f->GPSAudioMixPercentageUpDown->Associate(), f->GPSAudioMixPercentageLabeledEdit);
    EXPECT_EQ(f->A2DPAudioMixPercentageLabeledEdit->Text(), "20");
    EXPECT_EQ(f->GPSAudioMixPercentageLabeledEdit->Text(), "20");
    EXPECT_EQ(f->GPSAudioSharingUpDown->Associate(), nullptr);
    EXPECT_EQ(f->GPSAudioSharingUpDown->Min(), -1);
    EXPECT_EQ(f->GPSAudioSharingUpDown->Max(), 2);
    EXPECT_EQ(f->GPSAudioSharingUpDown->Position(), 1);
    EXPECT_TRUE(f->GPSAudioSharingLabeledEdit->ReadOnly());
    EXPECT_EQ(f->UpgradeProgressBar->Max(), 100);
    EXPECT_TRUE(f->UpgradeProgressBar->Smooth());
    EXPECT_EQ(f->UpgradeProgressBar->Step(), 1);
    EXPECT_EQ(f->InfoLabel->Caption(), "Information");
    EXPECT_EQ(f->HintLabel->Caption(), "Hint");
    EXPECT_EQ(f->OpenDialog1->Filter(), "firmware file (*.dfu)|*.dfu");
    EXPECT_EQ(f->ComPort1->DeviceName(), "COM2");
    EXPECT_FALSE(f->ComPort1->Active());
    struct Timer {
        ui::TTimer* timer;
        unsigned interval;
    } timers[] = {{f->UartRespTimeoutTimer, 1000},
                  {f->ShowPromptTimer, 100},
                  {f->ProgressTimer, 100},
                  {f->StartDFUTimer, 10},
                  {f->DFUCloseComPortTimer, 1}};
    for (const Timer& t : timers) {
        EXPECT_FALSE(t.timer->Enabled()) << t.timer->Name();
        EXPECT_EQ(t.timer->Interval(), t.interval) << t.timer->Name();
    }
}

TEST_F(MainformTest, ChineseStartUpUsesBig5AtTenPoint) {
    OpenMainWindow(kLanguageChineseTraditional);
    EXPECT_EQ(form->Font().Charset, 136);
    EXPECT_EQ(form->Font().Size(), 10);
#ifdef _WIN32
    // The texts come in the ANSI code page there; their bytes are checked by the text tests.
    if (GetACP() != 65001) return;
#endif
    EXPECT_EQ(form->Caption(), "KX-V5 \xE8\xA8\xAD\xE5\xAE\x9A\xE5\xB7\xA5\xE5\x85\xB7, V1.00");
    EXPECT_EQ(form->Font().Charset, 136);
    EXPECT_EQ(form->Font().Size(), 10);
    EXPECT_EQ(form->ExitButton->Caption(), "\xE9\x9B\xA2\xE9\x96\x8B");
}

TEST_F(MainformTest, ControlsStartInTheIdleStateWithThePortClosed) {
    OpenMainWindow(kLanguageEnglish);
    EXPECT_TRUE(form->ComPortListBox->Enabled());
    EXPECT_TRUE(form->OpenComPortButton->Enabled());
    EXPECT_TRUE(form->PageControl1->Enabled());
    EXPECT_FALSE(form->CloseComPortButton->Enabled());
    EXPECT_FALSE(form->SpeedDial1LabeledEdit->Enabled());
    EXPECT_FALSE(form->GPSAudioSharingUpDown->Enabled());
    EXPECT_FALSE(form->StartDFUUpgradeButton->Enabled());
    EXPECT_FALSE(form->RestoreDefaultButton->Enabled());
    EXPECT_FALSE(form->SpeedDialSettingMemo->Enabled());
    EXPECT_TRUE(form->ExitButton->Enabled());
}

TEST_F(MainformTest, NotePanesKeepTheirEmptyLines) {
    OpenMainWindow(kLanguageEnglish);
    const ui::TStrings& speed = form->SpeedDialSettingMemo->Lines();
    ASSERT_EQ(speed.Count(), 3);
    EXPECT_EQ(speed[0], "Note: ");
    EXPECT_EQ(speed[1], "");
    EXPECT_EQ(form->A2DPAudioSettingMemo->Lines().Count(), 3);
    const ui::TStrings& gps = form->GPSAudioSettingMemo->Lines();
    ASSERT_EQ(gps.Count(), 7);
    EXPECT_EQ(gps[4],
              "2. To input with 20 means 20% of GPS audio volume will be heard in the "
              "mixed audio.  ");
}

TEST_F(MainformTest, PromptAppearsOnceAfterTheFirstShow) {
    OpenMainWindow(kLanguageEnglish);
    form->Show();
    EXPECT_TRUE(headless->MessageBoxes().empty());
    headless->Advance(99);
    ui::Application->ProcessMessages();
    EXPECT_TRUE(headless->MessageBoxes().empty());
    headless->Advance(1);
    ui::Application->ProcessMessages();
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, "Please select COM Port and open COM Port.");
    EXPECT_EQ(LastBox().caption, "Note");
    EXPECT_EQ(LastBox().flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(LastBox().owner, form);
    form->Hide();
    form->Show();
    headless->Advance(1000);
    ui::Application->ProcessMessages();
    EXPECT_EQ(headless->MessageBoxes().size(), 1u);
}

struct CloseCase {
    const char* name;
    int upgradeStage;
    int pendingCommand;
    bool settingsChanged;
    int answer;           // scripted answer, 0 = none
    const char* message;  // nullptr: no message box
    UINT flags;
    bool canClose;
};

void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.name;
}

class MainformCloseTest : public MainformTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(MainformCloseTest, CloseQueryFollowsTheFirstRuleThatApplies) {
    const CloseCase& c = GetParam();
    OpenMainWindow(kLanguageEnglish);
    form->UpgradeStage = c.upgradeStage;
    form->PendingCommand = c.pendingCommand;
    form->A2dpMixChanged = c.settingsChanged;
    if (c.answer != 0) headless->AnswerMessageBox(c.answer);
    bool canClose = !c.canClose;
    form->FormCloseQuery(form, canClose);
    EXPECT_EQ(canClose, c.canClose);
    if (c.message == nullptr) {
        EXPECT_TRUE(headless->MessageBoxes().empty());
        return;
    }
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, c.message);
    EXPECT_EQ(LastBox().caption, "Note");
    EXPECT_EQ(LastBox().flags, c.flags);
}

const UINT kOkWarn = MB_OK | MB_ICONWARNING;
const UINT kAsk = MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING;
INSTANTIATE_TEST_SUITE_P(
    Rules, MainformCloseTest,
    ::testing::Values(CloseCase{"UpgradeBeatsEverything", 2, 21, true, 0,
                                "Firmware upgrade in progress.", kOkWarn, false},
                      CloseCase{"PendingReplyBeatsEdits", 0, 8, true, 0,
                                "Device communication in progress.", kOkWarn, false},
                      CloseCase{"EditsYes", 0, 9999, true, IDYES,
                                "The settings had been changed. Are you sure to exit?", kAsk, true},
                      CloseCase{"EditsNo", 0, 9999, true, IDNO,
                                "The settings had been changed. Are you sure to exit?", kAsk,
                                false},
                      CloseCase{"EditsDefaultIsNo", 0, 9999, true, 0,
                                "The settings had been changed. Are you sure to exit?", kAsk,
                                false},
                      CloseCase{"Idle", 0, 9999, false, 0, nullptr, 0, true}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return info.param.name; });

TEST_F(MainformTest, ExitClosesAndWritesTheFirmwareFileName) {
    OpenMainWindow(kLanguageEnglish);
    form->Show();
    std::strcpy(form->DfuFileName, "/fw/KX-V5_100%.dfu");
    const std::string ini = form->IniFilePath;
    form->ExitButton->UserClick();
    EXPECT_TRUE(ui::Application->Terminated());
    ASSERT_EQ(fake_bridge::state.destroyed.size(), 1u);
    EXPECT_EQ(fake_bridge::state.destroyed[0], fake_bridge::state.createResult);
    std::string again;
    EXPECT_EQ(app::ReadStoredFirmwareFile(&again), "/fw/KX-V5_100%.dfu");
    EXPECT_EQ(again, ini);
}

TEST_F(MainformTest, ExitRefusedLeavesEverythingInPlace) {
    OpenMainWindow(kLanguageEnglish);
    form->Show();
    form->PendingCommand = 7;
    form->ExitButton->UserClick();
    EXPECT_FALSE(ui::Application->Terminated());
    EXPECT_TRUE(fake_bridge::state.destroyed.empty());
    EXPECT_TRUE(form->Visible());
}

TEST_F(MainformTest, NoEngineIsNeverDestroyed) {
    fake_bridge::state.createResult = nullptr;
    OpenMainWindow(kLanguageEnglish);
    form->Close();
    EXPECT_TRUE(fake_bridge::state.destroyed.empty());
}

#ifndef _WIN32
TEST_F(MainformTest, StoredFirmwareFileIsShownAtStartAndAnEmptyOneIsWrittenAtClose) {
    std::string ini;
    app::ReadStoredFirmwareFile(&ini);
    app::WriteStoredFirmwareFile(ini, "/fw/KX-V5_%d.dfu");
    OpenMainWindow(kLanguageEnglish);
    EXPECT_STREQ(form->DfuFileName, "/fw/KX-V5_%d.dfu");
    EXPECT_EQ(form->DFUFileNameLabel->Caption(), "/fw/KX-V5_%d.dfu");
    form->DfuFileName[0] = '\0';
    form->Close();
    EXPECT_EQ(ReadFile(ini), "[Setting]\nDFU_FileName=\n");
}

TEST_F(MainformTest, OverlongStoredPathIsDroppedNotCut) {
    std::string ini;
    app::ReadStoredFirmwareFile(&ini);
    app::WriteStoredFirmwareFile(ini, "/" + std::string(300, 'a') + ".dfu");
    OpenMainWindow(kLanguageEnglish);
    EXPECT_STREQ(form->DfuFileName, "");
    EXPECT_EQ(form->DFUFileNameLabel->Caption(), "");
}

TEST_F(MainformTest, WithoutAnAppDataFolderTheRunKeepsNoSettingsFileAndSaysNothing) {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "", 1);
    OpenMainWindow(kLanguageEnglish);
    form->Show();
    EXPECT_EQ(form->IniFilePath, "");
    EXPECT_STREQ(form->DfuFileName, "");
    EXPECT_EQ(form->DFUFileNameLabel->Caption(), "");
    std::strcpy(form->DfuFileName, "/fw/KX-V5_V102.dfu");
    headless->ClearMessageBoxes();
    form->ExitButton->UserClick();
    setenv("HOME", home.c_str(), 1);
    EXPECT_TRUE(ui::Application->Terminated());
    EXPECT_TRUE(headless->ShownExceptions().empty());
    EXPECT_TRUE(headless->MessageBoxes().empty());
    // Nothing was made at the root of the file system.
    struct stat status;
    EXPECT_NE(stat("/QVBFU", &status), 0);
}

TEST_F(MainformTest, UnwritableSettingsFileIsReportedAndTheProgramStillEnds) {
    OpenMainWindow(kLanguageEnglish);
    form->Show();
    form->IniFilePath = configHome + "/missing-folder/QVDFUUpgrade.INI";
    form->ExitButton->UserClick();
    EXPECT_TRUE(ui::Application->Terminated());
    ASSERT_EQ(headless->ShownExceptions().size(), 1u);
    EXPECT_NE(headless->ShownExceptions()[0].find(form->IniFilePath), std::string::npos);
}
#endif

TEST_F(MainformTest, ShiftClickOnTheStripRevealsTheDeviceLines) {
    OpenMainWindow(kLanguageEnglish);
    form->Show();
    form->PaintBox1->UserClick();
    EXPECT_FALSE(form->DeviceInfoLabel->Visible());
    for (int shift : {0xA0, 0xA1}) {
        form->DeviceInfoLabel->Hide();
        form->DeviceBdAddrInfoLabel->Hide();
        headless->SetKeyDown(shift, true);
        form->PaintBox1->UserClick();
        headless->ReleaseAllKeys();
        EXPECT_TRUE(form->DeviceInfoLabel->Visible()) << shift;
        EXPECT_TRUE(form->DeviceBdAddrInfoLabel->Visible()) << shift;
    }
    // Nothing hides them again.
    form->PaintBox1->UserClick();
    EXPECT_TRUE(form->DeviceInfoLabel->Visible());
}

// ---- Label wrapping: at 8 point every narrow character is 6 px wide and a wide one 12 px;
// DFUFileNameLabel is 553 px wide, so 92 narrow characters fit on a line.

TEST_F(MainformTest, WrappingEmptyTextGivesEmptyCaption) {
    OpenMainWindow(kLanguageEnglish);
    form->DFUFileNameLabel->SetCaption("x");
    form->SetWrappedLabelText(form->DFUFileNameLabel, "");
    EXPECT_EQ(form->DFUFileNameLabel->Caption(), "");
}

TEST_F(MainformTest, WrappingBreaksALongPathBetweenCharactersWithoutLosingAny) {
    OpenMainWindow(kLanguageEnglish);
    std::string path = "/";
    for (int i = 0; path.size() < 200; ++i) path += "folder" + std::to_string(i) + "/";
    form->SetWrappedLabelText(form->DFUFileNameLabel, path);
    const std::string caption = form->DFUFileNameLabel->Caption();
    EXPECT_EQ(caption.substr(0, 92), path.substr(0, 92));
    EXPECT_EQ(caption[92], '\n');
    EXPECT_EQ(caption.substr(93, 92), path.substr(92, 92));
    EXPECT_EQ(caption[185], '\n');
    std::string joined;
    for (char c : caption)
        if (c != '\n') joined += c;
    EXPECT_EQ(joined, path);
    // A path that fits stays on one line; a line feed in the text starts a new line.
    form->SetWrappedLabelText(form->DFUFileNameLabel, path.substr(0, 92));
    EXPECT_EQ(form->DFUFileNameLabel->Caption(), path.substr(0, 92));
    form->SetWrappedLabelText(form->DFUFileNameLabel, "a\nb");
    EXPECT_EQ(form->DFUFileNameLabel->Caption(), "a\nb");
}

TEST_F(MainformTest, WrappingMovesAWideCharacterWholeToTheNextLine) {
    OpenMainWindow(kLanguageEnglish);
    // 91 narrow characters (546 px) and a wide one (12 px) overflow the 553 px line.
#ifdef _WIN32
    if (GetACP() != 950) GTEST_SKIP() << "needs the Big5 code page";
    const std::string wide = "\xB4\xFA";  // a Big5 pair; measured as one character
#else
    const std::string wide = "\xE6\xB8\xAC";  // one CJK character in UTF-8
#endif
    const std::string text = std::string(91, 'a') + wide + "b";
    form->SetWrappedLabelText(form->DFUFileNameLabel, text);
    EXPECT_EQ(form->DFUFileNameLabel->Caption(), std::string(91, 'a') + "\n" + wide + "b");
}

// ---- Device arrival and removal

void Present(FakePorts& ports, std::vector<device::FoundPort> list) {
    ports.present = list;
}

TEST_F(MainformTest, StartUpListsPortsAndPreselectsTheFirstUsbPort) {
    Present(ports, {{"COM4", "USB Serial Device"}, {"COM1", "Communications Port"}});
    OpenMainWindow(kLanguageEnglish);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"COM1  -  Communications Port",
                                                "COM4  -  USB Serial Device"}));
    EXPECT_EQ(form->ComPortListBox->ItemIndex(), 1);
}

TEST_F(MainformTest, ArrivalRefreshesTheListUnlessAPortSessionIsActive) {
    OpenMainWindow(kLanguageEnglish);
    EXPECT_TRUE(Rows().empty());
    Present(ports, {{"COM7", "USB Serial Device"}});
    form->PortSessionActive = 1;
    form->Perform(WM_DEVICECHANGE, 0x8000, 0);
    EXPECT_TRUE(Rows().empty());
    form->PortSessionActive = 0;
    form->Perform(WM_DEVICECHANGE, 0x8000, 0);
    EXPECT_EQ(Rows(), std::vector<std::string>{"COM7  -  USB Serial Device"});
    EXPECT_EQ(form->ComPortListBox->ItemIndex(), 0);
    // Node changes and other events do nothing.
    Present(ports, {});
    form->Perform(WM_DEVICECHANGE, 7, 0);
    EXPECT_EQ(Rows().size(), 1u);
}

TEST_F(MainformTest, RemovalWhileClosedButInSessionNeitherClosesNorRefreshes) {
    Present(ports, {{"COM3", "USB Serial Device"}});
    OpenMainWindow(kLanguageEnglish);
    form->PortSessionActive = 1;
    Present(ports, {});
    form->Perform(WM_DEVICECHANGE, 0x8004, 0);
    EXPECT_EQ(form->PortSessionActive, 1);
    EXPECT_EQ(Rows().size(), 1u);
}

TEST_F(MainformTest, WindowRegistersForUsbDeviceNotifications) {
    OpenMainWindow(kLanguageEnglish);
    ASSERT_EQ(headless->DeviceNotifications().size(), 1u);
    const GUID& g = headless->DeviceNotifications()[0].interfaceClass;
    EXPECT_EQ(g.Data1, 0xA5DCBF10u);
    EXPECT_EQ(g.Data2, 0x6530);
    EXPECT_EQ(g.Data3, 0x11D2);
    EXPECT_EQ(g.Data4[7], 0xED);
    EXPECT_EQ(form->DeviceNotifyHandle, headless->DeviceNotifications()[0].handle);
}

}  // namespace
