// The firmware upgrade from the window, with a scripted engine (FakeBridge.h) and a scripted
// headset on a pty: file checks, the hand-over, the three steps, and every ending.
#include <cstring>
#include <thread>

#include "tests/app/FakeBridge.h"
#include "tests/app/MainformExchangeFixture.h"

namespace {

using fake_bridge::Notify;
using fake_bridge::state;

constexpr int kOperationDownloadProgress = 9;
constexpr int kOperationDownloadVerify = 10;

class MainformUpgradeTest : public MainformExchangeTest {
  protected:
    void SetUp() override {
        MainformExchangeTest::SetUp();
        state.devices = {"USB DFU device A", "USB DFU device B"};
        std::strcpy(form->DfuFileName, "/fw/KX-V5_v103.dfu");
    }

    // Runs the elapsed-time and step-sequencing timer once.
    void Tick(DWORD ms = 100) {
        headless->Advance(ms);
        ui::Application->ProcessMessages();
    }

    // From the Start button to the reconfigure step.
    void StartUpgrade() {
        if (!form->PortOpen) OpenAndQuery();
        form->PageControl1->SetActivePageIndex(3);
        ASSERT_TRUE(form->StartDFUUpgradeButton->UserClick());
        ExpectRequest("AT+QVCMD1=20");
        AnswerWith("+QVSTS1=20");
        ASSERT_TRUE(PumpUntil([&] { return form->PendingCommand == 9999; }));
        headless->Advance(1);  // the port closes
        ui::Application->ProcessMessages();
        headless->Advance(1000);  // the engine starts
        ui::Application->ProcessMessages();
    }

    // Completes the current step as the engine would.
    void Complete(int result = 0, int operation = 0, int subOperation = 0) {
        Notify(2, 100, operation, result, subOperation);
        Tick();
    }

    std::string Box(size_t i) const { return headless->MessageBoxes().at(i).text; }
};

TEST_F(MainformUpgradeTest, WholeUpgradeShowsEachStepAndReconnectsTheHeadset) {
    StartUpgrade();
    ASSERT_EQ(form->UpgradeStage, 1);
    EXPECT_EQ(state.steps, std::vector<std::string>{"reconfigure 0 1 /fw/KX-V5_v103.dfu"});
    EXPECT_EQ(state.openedDevices, std::vector<std::string>{"USB DFU device A"});
    EXPECT_EQ(form->DfuDeviceLabel->Caption(), "USB DFU device A");
    EXPECT_FALSE(form->ComPort1->Active());
    EXPECT_EQ(form->PortSessionActive, 0);
    EXPECT_EQ(form->InfoLabel->Caption(), "Reconfigure in progress... ");
    EXPECT_TRUE(form->InfoLabel->Visible());
    EXPECT_TRUE(form->UpgradeProgressBar->Visible());
    EXPECT_TRUE(form->ElapsedLabel->Visible());
    // Locked while it runs, but for Exit.
    EXPECT_FALSE(form->OpenComPortButton->Enabled());
    EXPECT_FALSE(form->PageControl1->Enabled());
    EXPECT_FALSE(form->StartDFUUpgradeButton->Enabled());
    EXPECT_TRUE(form->ExitButton->Enabled());

    Notify(1, 40, 3);
    EXPECT_EQ(form->InfoLabel->Caption(), "Reconfigure in progress...  40%");
    EXPECT_EQ(form->UpgradeProgressBar->Position(), 40);
    Tick(7000);
    EXPECT_EQ(form->ElapsedLabel->Caption(), "Elapsed: 0:07");

    Complete(0, 4, 8);
    EXPECT_EQ(form->UpgradeStage, 2);
    ASSERT_EQ(state.steps.size(), 2u);
    EXPECT_EQ(state.steps[1], "download /fw/KX-V5_v103.dfu");
    EXPECT_EQ(form->InfoLabel->Caption(), "Download in progress...");
    EXPECT_EQ(form->UpgradeProgressBar->Position(), 0);
    Notify(1, 55, kOperationDownloadProgress);
    EXPECT_EQ(form->InfoLabel->Caption(), "Download in progress... 55%");
    Notify(1, 100, kOperationDownloadVerify);
    EXPECT_EQ(form->InfoLabel->Caption(),
              "Download in progress... 100%, Firmware upgrade is almost completed, please "
              "wait.... \xEF\xBC\x88You need to wait a moment.\xEF\xBC\x89");

    Complete(0, kOperationDownloadVerify);
    EXPECT_EQ(form->UpgradeStage, 3);
    EXPECT_EQ(state.steps.back(), "manifest");
    EXPECT_EQ(form->InfoLabel->Caption(), "Verifying in progress.");

    bool closeAllowed = true;
    form->FormCloseQuery(form, closeAllowed);
    EXPECT_FALSE(closeAllowed);
    EXPECT_EQ(Box(0), "Firmware upgrade in progress.");

    Complete(0, 11);
    EXPECT_EQ(form->UpgradeStage, 0);
    EXPECT_EQ(form->InfoLabel->Caption(), "Verifying in progress. 100%");
    EXPECT_EQ(form->UpgradeProgressBar->Position(), 100);
    EXPECT_EQ(Box(1), "Firmware upgrade completes.");
    EXPECT_EQ(headless->MessageBoxes()[1].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    // The headset's port, found again by its description, is open and queried.
    EXPECT_TRUE(form->ComPort1->Active());
    EXPECT_EQ(form->PortSessionActive, 1);
    RunQuerySequence();
    EXPECT_EQ(form->FWVerLabel->Caption(), "Firmware version: V1.02");
    EXPECT_EQ(state.callbackRegistrations, 1);
}

TEST_F(MainformUpgradeTest, ElapsedTimeShowsMinutesWithoutBound) {
    StartUpgrade();
    struct Case {
        DWORD seconds;
        const char* text;
    } cases[] = {{3599, "Elapsed: 59:59"}, {3600, "Elapsed: 60:00"}, {4502, "Elapsed: 75:02"}};
    for (const Case& c : cases) {
        form->UpgradeStartTick = ui::TickCount() - c.seconds * 1000 - 999;
        form->ProgressTimerTimer(form);
        EXPECT_EQ(form->ElapsedLabel->Caption(), c.text);
    }
}

TEST_F(MainformUpgradeTest, CompletionWithAResultNamesItAndResets) {
    StartUpgrade();
    Complete();
    Complete(25, kOperationDownloadVerify, 0);
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(Box(0),
              "An error occurs during firmware upgrade. Result = fail_dfu_verify, Operation = "
              "download_verify, SubOperation = no_sub_operation");
    EXPECT_EQ(LastBox().caption, "Error");
    EXPECT_EQ(form->UpgradeStage, 0);
    EXPECT_FALSE(form->ProgressTimer->Enabled());
    EXPECT_TRUE(form->NoDeviceWarning);
    EXPECT_FALSE(form->InfoLabel->Visible());
    EXPECT_FALSE(form->ComPort1->Active());  // the user reopens the port
    EXPECT_TRUE(form->OpenComPortButton->Enabled());
}

TEST_F(MainformUpgradeTest, StepThatDoesNotStartEndsWithTheGeneralMessage) {
    state.downloadResult = false;
    StartUpgrade();
    Complete();
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(Box(0), "An error occurs during firmware upgrade.");
    EXPECT_EQ(form->UpgradeStage, 0);
    EXPECT_FALSE(form->ProgressTimer->Enabled());
}

TEST_F(MainformUpgradeTest, DeviceThatCannotBeOpenedOrReconfiguredEndsAtOnce) {
    for (bool createUsb : {false, true}) {
        state.createUsbResult = createUsb;
        state.reconfigureResult = false;
        headless->ClearMessageBoxes();
        StartUpgrade();
        ASSERT_EQ(headless->MessageBoxes().size(), 1u) << createUsb;
        EXPECT_EQ(Box(0), "An error occurs during firmware upgrade.");
        EXPECT_EQ(form->UpgradeStage, 0);
        EXPECT_FALSE(form->ProgressTimer->Enabled());
        EXPECT_FALSE(form->InfoLabel->Visible());
        OpenAndQuery();
    }
    // The device was opened anew for each attempt; the callback was handed over once.
    EXPECT_EQ(state.openedDevices.size(), 2u);
    EXPECT_EQ(state.callbackRegistrations, 1);
    EXPECT_EQ(state.steps.size(), 1u);  // only the second attempt got to reconfigure
}

TEST_F(MainformUpgradeTest, NoDfuDeviceWithinThirtySecondsWarns) {
    state.devices.clear();
    StartUpgrade();
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(Box(0),
              "Your computer is not connected to a Bluetooth device. \n\n Please check if your "
              "device is correctly connected to the computer.");
    EXPECT_EQ(LastBox().caption, "Note");
    EXPECT_EQ(LastBox().flags, static_cast<UINT>(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(state.polls, 300);  // every 100 ms for 30 s
    EXPECT_FALSE(form->UsbDevicePresent);
    EXPECT_EQ(form->DfuDeviceLabel->Caption(), "");
    EXPECT_EQ(form->UpgradeStage, 0);
    EXPECT_TRUE(state.openedDevices.empty());
}

TEST_F(MainformUpgradeTest, HeadsetGoneAfterAFailureIsNotWarnedAbout) {
    StartUpgrade();
    state.devices.clear();
    Complete(34, 9, 0);
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);  // only the failure itself
    EXPECT_EQ(form->DfuDeviceLabel->Caption(), "");
    EXPECT_TRUE(form->NoDeviceWarning);
}

TEST_F(MainformUpgradeTest, DeviceAppearingDuringTheWaitIsUsed) {
    state.devicesAfterPolls = 25;
    StartUpgrade();
    EXPECT_EQ(state.polls, 26);
    EXPECT_EQ(form->UpgradeStage, 1);
}

TEST_F(MainformUpgradeTest, ProgressFromTheEngineThreadIsShownByTheWindowThread) {
    StartUpgrade();
    std::thread engine([] { Notify(1, 70, 3); });
    engine.join();
    EXPECT_EQ(form->UpgradeProgressBar->Position(), 0);
    ui::Application->ProcessMessages();
    EXPECT_EQ(form->UpgradeProgressBar->Position(), 70);
    EXPECT_EQ(form->InfoLabel->Caption(), "Reconfigure in progress...  70%");
}

TEST_F(MainformUpgradeTest, ProgressOfAFinishedStepIsNotShownForTheNextStep) {
    StartUpgrade();
    std::thread engine([] {
        Notify(1, 100, 4);
        Notify(2, 100, 4);
    });
    engine.join();
    // The tick that sees the completion runs before the window gets to the queued progress.
    form->ProgressTimerTimer(form);
    ui::Application->ProcessMessages();
    ASSERT_EQ(form->UpgradeStage, 2);
    EXPECT_EQ(form->InfoLabel->Caption(), "Download in progress...");
    EXPECT_EQ(form->UpgradeProgressBar->Position(), 0);
    // The running step's progress still shows when it comes from the engine's thread.
    std::thread([] { Notify(1, 12, kOperationDownloadProgress); }).join();
    ui::Application->ProcessMessages();
    EXPECT_EQ(form->InfoLabel->Caption(), "Download in progress... 12%");
    EXPECT_EQ(form->UpgradeProgressBar->Position(), 12);
}

TEST_F(MainformUpgradeTest, ProgressShowsTheStageTextAndMovesTheBarOnlyOnChange) {
    StartUpgrade();
    Complete();
    Complete();
    ASSERT_EQ(form->UpgradeStage, 3);
    const ui::THeadlessPeer* bar = ui::THeadlessBackend::PeerOf(*form->UpgradeProgressBar);
    ASSERT_NE(bar, nullptr);
    Notify(1, 30, 11);
    EXPECT_EQ(form->InfoLabel->Caption(), "Verifying in progress. 30%");
    const int repaints = bar->Repaints();
    // The same percentage again: only the status line changes.
    Notify(1, 30, kOperationDownloadVerify);
    EXPECT_EQ(form->InfoLabel->Caption(),
              "Verifying in progress. 30%, Firmware upgrade is almost completed, please "
              "wait.... \xEF\xBC\x88You need to wait a moment.\xEF\xBC\x89");
    EXPECT_EQ(bar->Repaints(), repaints);
    Notify(1, 31, 11);
    EXPECT_EQ(form->UpgradeProgressBar->Position(), 31);
    EXPECT_EQ(bar->Repaints(), repaints + 1);
    // The engine's first notification carries nothing to show.
    Notify(0, 99, 11);
    EXPECT_EQ(form->InfoLabel->Caption(), "Verifying in progress. 31%");
    EXPECT_EQ(form->UpgradeProgressBar->Position(), 31);
}

TEST_F(MainformUpgradeTest, NoReconnectWhenThePortsDescriptionChanged) {
    StartUpgrade();
    Complete();
    Complete();
    ports.present = {{"COM5", "Another device"}};
    form->RefreshComPortList();
    const DWORD before = ui::TickCount();
    Complete();
    EXPECT_EQ(Box(0), "Firmware upgrade completes.");
    EXPECT_GE(ui::TickCount() - before, 15000u);
    EXPECT_FALSE(form->ComPort1->Active());
    EXPECT_FALSE(headset->HasPendingBytes());
}

TEST_F(MainformUpgradeTest, WindowClosedDuringTheReconnectEndsTheWaitWithThePortClosed) {
    StartUpgrade();
    Complete();
    Complete();
    // The user closes the window while the success note is up; the close is handled while
    // the reconnect wait processes messages.
    headless->OnMessageBox = [this](const ui::TMessageBoxRecord& box) {
        if (box.text == "Firmware upgrade completes.")
            ui::TWindowThread::Post([this] { form->UserClose(); });
        return 0;
    };
    const DWORD before = ui::TickCount();
    Complete();
    headless->OnMessageBox = nullptr;
    EXPECT_TRUE(ui::Application->Terminated());
    EXPECT_EQ(state.destroyed.size(), 1u);
    EXPECT_LT(ui::TickCount() - before, 1000u);
    EXPECT_FALSE(form->ComPort1->Active());
    EXPECT_FALSE(headset->HasPendingBytes());
}

// ---- The firmware file

TEST_F(MainformUpgradeTest, FileRefusedByTheEngineIsForgotten) {
    OpenAndQuery();
    state.fileValid = false;
    form->PageControl1->SetActivePageIndex(3);
    form->StartDFUUpgradeButton->UserClick();
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(Box(0), "Incorrect firmware file.");
    EXPECT_EQ(LastBox().flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_STREQ(form->DfuFileName, "");
    EXPECT_EQ(form->DFUFileNameLabel->Caption(), "");
    EXPECT_FALSE(headset->HasPendingBytes());
    // Nothing left to start: the next click says nothing.
    state.fileValid = true;
    form->StartDFUUpgradeButton->UserClick();
    EXPECT_EQ(headless->MessageBoxes().size(), 1u);
}

TEST_F(MainformUpgradeTest, MakersMarkInTheCommentDecides) {
    OpenAndQuery();
    struct Case {
        const char* comment;
        bool accepted;
    } cases[] = {{"QUORVANE KX-V5 V1.03", true},
                 {"Quor Vane KX-V5", true},
                 {"made by quorvane", true},
                 {"Quor-Vane KX-V5", false},
                 {"Acme headset firmware", false}};
    for (const Case& c : cases) {
        headless->ClearMessageBoxes();
        state.fileComment = c.comment;
        std::strcpy(form->DfuFileName, "/fw/KX-V5_v103.dfu");
        form->ValidateFirmwareFile();
        EXPECT_EQ(form->DfuFileName[0] != '\0', c.accepted) << c.comment;
        if (c.accepted) {
            EXPECT_TRUE(headless->MessageBoxes().empty());
            EXPECT_EQ(form->DFUFileNameLabel->Caption(), "/fw/KX-V5_v103.dfu");
        } else {
            ASSERT_EQ(headless->MessageBoxes().size(), 1u);
            EXPECT_EQ(Box(0),
                      "The firmware file selected cannot work with  Quor Vane Bluetooth "
                      "device.");
            EXPECT_EQ(form->DFUFileNameLabel->Caption(), "");
        }
    }
}

TEST_F(MainformUpgradeTest, FileNameMustStartWithTheModelAndAnUnderscore) {
    OpenAndQuery();  // DeviceName KX-V5
    struct Case {
        const char* path;
        bool matches;
    } cases[] = {{"C:\\fw\\kx-v5_v1.dfu", true},
                 {"/fw/KX-V5_V1.dfu", true},
                 {"C:\\KX-V5_x\\KX-V5.dfu", false},
                 {"/fw/KXV5_V1.dfu", false},
                 {"KX-V5_.dfu", true}};
    for (const Case& c : cases) {
        std::strcpy(form->DfuFileName, c.path);
        EXPECT_EQ(form->FirmwareMatchesDevice(), c.matches) << c.path;
    }
    std::strcpy(form->DfuFileName, "/fw/KX-V6_v1.dfu");
    form->PageControl1->SetActivePageIndex(3);
    form->StartDFUUpgradeButton->UserClick();
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(Box(0),
              "The firmware file selected cannot match with your device model. \n Please "
              "select the required firmware file for your device again.");
    EXPECT_STREQ(form->DfuFileName, "/fw/KX-V6_v1.dfu");  // nothing changes
    EXPECT_FALSE(headset->HasPendingBytes());
}

TEST_F(MainformUpgradeTest, FileDialogStartsAtTheCurrentFileAndRefusesOverlongPaths) {
    OpenAndQuery();
    form->PageControl1->SetActivePageIndex(3);
    headless->AnswerFileDialog(std::nullopt);
    form->OpenDfuFileButton->UserClick();
    ASSERT_EQ(headless->FileDialogs().size(), 1u);
    EXPECT_EQ(headless->FileDialogs()[0].fileName, "/fw/KX-V5_v103.dfu");
    EXPECT_EQ(headless->FileDialogs()[0].filter, "firmware file (*.dfu)|*.dfu");
    EXPECT_STREQ(form->DfuFileName, "/fw/KX-V5_v103.dfu");

    headless->AnswerFileDialog("/new/KX-V5_v104.dfu");
    form->OpenDfuFileButton->UserClick();
    EXPECT_STREQ(form->DfuFileName, "/new/KX-V5_v104.dfu");
    EXPECT_EQ(form->DFUFileNameLabel->Caption(), "/new/KX-V5_v104.dfu");
    EXPECT_EQ(state.checkedFiles.back(), "/new/KX-V5_v104.dfu");

    headless->AnswerFileDialog("/" + std::string(300, 'd') + "/KX-V5_v1.dfu");
    form->OpenDfuFileButton->UserClick();
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(Box(0),
              "The path of the selected firmware file is too long (at most 255 characters).");
    EXPECT_STREQ(form->DfuFileName, "/new/KX-V5_v104.dfu");
}

TEST_F(MainformUpgradeTest, WithoutAnEngineNothingIsAskedOfIt) {
    ui::Application->Finalize();
    state.createResult = nullptr;
    headless = &ui::THeadlessBackend::Install();
    OpenMainWindow(app::kLanguageEnglish);
    form->Show();
    headless->Advance(100);
    ui::Application->ProcessMessages();
    headless->ClearMessageBoxes();
    std::strcpy(form->DfuFileName, "/fw/KX-V5_v103.dfu");
    form->OpenComPortButton->UserClick();
    RunQuerySequence();
    form->PageControl1->SetActivePageIndex(3);
    form->StartDFUUpgradeButton->UserClick();
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(Box(0), "An error occurs during firmware upgrade.");
    EXPECT_TRUE(state.checkedFiles.empty());
    EXPECT_FALSE(headset->HasPendingBytes());
}

}  // namespace
