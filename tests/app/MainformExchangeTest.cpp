// The main window talking to a headset over a real pty: the query sequence, the acceptance
// rules, the reply time-out, the settings pages and the hand-over to the upgrade.
#include <cstring>
#include <functional>

#include "device/DeviceConfigLine.h"
#include "tests/app/MainformExchangeFixture.h"

namespace {

TEST_F(MainformExchangeTest, OpeningRunsTheQuerySequenceAndFillsTheWindow) {
    ASSERT_EQ(form->ComPortListBox->ItemIndex(), 1);  // COM5, the USB port
    OpenAndQuery();
    EXPECT_EQ(form->PortSessionActive, 1);
    EXPECT_STREQ(form->ComPortName, "USB Serial Device");
    EXPECT_EQ(form->FWVerLabel->Caption(), "Firmware version: V1.02");
    EXPECT_STREQ(form->DeviceName, "KX-V5");
    EXPECT_STREQ(form->DeviceBdAddress, "00:02:5B:01:02:03");
    EXPECT_EQ(form->DeviceBdAddrInfoLabel->Caption(), "Device address : 00:02:5B:01:02:03");
    EXPECT_EQ(form->SpeedDial1LabeledEdit->Text(), "+886*12#");
    EXPECT_EQ(form->SpeedDial2LabeledEdit->Text(), "0912345678");
    EXPECT_EQ(form->SpeedDial3LabeledEdit->Text(), "");
    EXPECT_STREQ(form->SpeedDial1Saved, "+886*12#");
    EXPECT_EQ(form->A2DPAudioMixPercentageUpDown->Position(), 35);
    EXPECT_EQ(form->A2DPAudioMixPercentageLabeledEdit->Text(), "35");
    EXPECT_EQ(form->GPSAudioMixPercentageUpDown->Position(), 40);
    EXPECT_EQ(form->GPSAudioSharingUpDown->Position(), 0);
    EXPECT_EQ(form->GPSAudioSharingLabeledEdit->Text(), "No");
    EXPECT_EQ(form->A2dpMixPercent, 35);
    EXPECT_EQ(form->GpsMixPercent, 40);
    EXPECT_EQ(form->GpsVoiceSharing, 0);
    // Filling the controls raised their change events; the sequence's end clears the flags.
    EXPECT_FALSE(form->SpeedDialChanged || form->A2dpMixChanged || form->GpsSettingChanged);
    EXPECT_FALSE(form->UartRespTimeoutTimer->Enabled());
    EXPECT_TRUE(form->CloseComPortButton->Enabled());
    EXPECT_FALSE(form->OpenComPortButton->Enabled());
    EXPECT_TRUE(form->SpeedDial1LabeledEdit->Enabled());
    EXPECT_TRUE(headless->MessageBoxes().empty());
    // The log of the first exchange, line by line.
    const std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 8u);
    const std::vector<std::string> first(log.begin(), log.begin() + 8);
    EXPECT_EQ(first, (std::vector<std::string>{
                         "", "Send -> 'AT+QVCMD1=7'", "OK", "+QVSTS1=7,84894534,1", "",
                         "UART_CMD_QUERY_ID Signature = 84894534", "", "Send -> 'AT+QVCMD1=8'"}));
    EXPECT_TRUE(LogHas("UART_CMD_QUERY_GPS_MIX_SETTING Percentage = 40 VoiceSharing = 0"));
}

TEST_F(MainformExchangeTest, RepliesSplitOrMergedOrEndingInLfAloneAreHandledOnceEach) {
    form->OpenComPortButton->UserClick();
    ExpectRequest("AT+QVCMD1=7");
    headset->Send("O");
    PumpUntil([] { return false; }, 30);
    headset->Send("K\r");
    PumpUntil([] { return false; }, 30);
    headset->Send("\n+QVSTS1=7,8489");
    PumpUntil([] { return false; }, 30);
    headset->Send("4534,1\n");
    ExpectRequest("AT+QVCMD1=8");
    headset->Send("OK\n+QVSTS1=8,102\r\n");  // two lines in one event
    ExpectRequest("AT+QVCMD1=9");
    EXPECT_EQ(form->FWVerLabel->Caption(), "Firmware version: V1.02");
}

struct UnacceptedCase {
    const char* name;
    const char* bytes;  // sent after the request for code 7
};

class MainformUnacceptedTest : public MainformExchangeTest,
                               public ::testing::WithParamInterface<UnacceptedCase> {};

TEST_P(MainformUnacceptedTest, NothingIsAcceptedAndTheTimeOutClosesThePort) {
    form->OpenComPortButton->UserClick();
    ExpectRequest("AT+QVCMD1=7");
    headset->Send(GetParam().bytes);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(form->PendingCommand, 7);
    EXPECT_FALSE(headset->HasPendingBytes());
    ExpireTimeout();
    EXPECT_FALSE(form->PortOpen);
    EXPECT_FALSE(form->ComPort1->Active());
    EXPECT_EQ(form->PendingCommand, 9999);
    EXPECT_EQ(form->PortSessionActive, 1);  // the user opens the port again to start over
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, "Time out for the device to respond. Please start over again!");
    EXPECT_EQ(LastBox().caption, "Error");
    EXPECT_EQ(LastBox().flags, static_cast<UINT>(MB_OK | MB_ICONWARNING));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, MainformUnacceptedTest,
    ::testing::Values(UnacceptedCase{"Silence", ""},
                      UnacceptedCase{"StatusBeforeAck", "+QVSTS1=7,84894534,1\r\nOK\r\n"},
                      UnacceptedCase{"ForeignSignature", "OK\r\n+QVSTS1=7,84894535,1\r\n"},
                      UnacceptedCase{"OtherCode", "OK\r\n+QVSTS1=8,102\r\n"},
                      UnacceptedCase{"LowerCaseAck", "ok\r\n+QVSTS1=7,84894534,1\r\n"}),
    [](const ::testing::TestParamInfo<UnacceptedCase>& info) { return info.param.name; });

// What a headset that fell silent mid-line leaves behind must not reach the next session.
struct LeftoverCase {
    const char* name;
    std::string bytes;  // sent after the request for code 7, then nothing more
};

class MainformLeftoverTest : public MainformExchangeTest,
                             public ::testing::WithParamInterface<LeftoverCase> {};

TEST_P(MainformLeftoverTest, ReopeningAfterTheTimeOutStartsWithAnEmptyLineBuffer) {
    form->OpenComPortButton->UserClick();
    ExpectRequest("AT+QVCMD1=7");
    headset->Send(GetParam().bytes);
    ASSERT_TRUE(PumpUntil([&] { return form->RxLineLength > 0 || form->RxLineOverflow; }));
    PumpUntil([] { return false; }, 50);  // the rest of the bytes
    ExpireTimeout();
    ASSERT_FALSE(form->PortOpen);
    // The headset answers correctly now: the whole query sequence goes through.
    OpenAndQuery();
    EXPECT_EQ(form->FWVerLabel->Caption(), "Firmware version: V1.02");
    EXPECT_EQ(form->GPSAudioMixPercentageUpDown->Position(), 40);
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, "Time out for the device to respond. Please start over again!");
}

INSTANTIATE_TEST_SUITE_P(
    Silence, MainformLeftoverTest,
    ::testing::Values(LeftoverCase{"HalfAStatusLine", "OK\r\n+QVSTS1=7,848"},
                      LeftoverCase{"LongLineWithoutLineFeed", std::string(1100, 'x')}),
    [](const ::testing::TestParamInfo<LeftoverCase>& info) { return info.param.name; });

TEST_F(MainformExchangeTest, IdleWindowAcceptsNoStatusLineNotEvenOneForTheIdleCode) {
    OpenAndQuery();
    // 9999 marks the idle exchange; a headset line carrying it answers nothing.
    headset->Send("OK\r\n+QVSTS1=9999,1,2\r\n");
    ASSERT_TRUE(PumpUntil([&] { return LogHas("+QVSTS1=9999,1,2"); }));
    EXPECT_EQ(Log().back(), "+QVSTS1=9999,1,2");
    EXPECT_EQ(form->PendingCommand, 9999);
    EXPECT_FALSE(headset->HasPendingBytes());
}

TEST_F(MainformExchangeTest, OverlongLineIsDroppedAndTheExchangeGoesOn) {
    form->OpenComPortButton->UserClick();
    ExpectRequest("AT+QVCMD1=7");
    headset->Send(std::string(3000, 'x'));
    PumpUntil([] { return false; }, 50);
    headset->Send("tail of the long line\nOK\r\n+QVSTS1=7,84894534,1\r\n");
    ExpectRequest("AT+QVCMD1=8");
    EXPECT_LE(form->RxLineLength, 1024);
    EXPECT_FALSE(LogHas("tail of the long line"));
}

TEST_F(MainformExchangeTest, ManyShortLinesInOneArrivalLoseNoneOfThem) {
    form->OpenComPortButton->UserClick();
    ExpectRequest("AT+QVCMD1=7");
    // More than the line buffer holds in one write, the reply straddling its end.
    std::string noise;
    for (int i = 0; i < 100; ++i) noise += "noise 123\n";
    headset->Send(noise + "OK\r\n+QVSTS1=7,84894534,1\r\n");
    ExpectRequest("AT+QVCMD1=8");
    EXPECT_TRUE(LogHas("UART_CMD_QUERY_ID Signature = 84894534"));
}

TEST_F(MainformExchangeTest, PortThatCannotBeOpenedIsReportedOnceAfterTwoPasses) {
    ports.present = {{"COM9", "USB Serial Device"}};  // no link: the port is missing
    form->RefreshComPortList();
    form->ComPortListBox->SetItemIndex(0);
    const DWORD start = ui::TickCount();
    form->OpenComPortButton->UserClick();
    EXPECT_EQ(ui::TickCount() - start, 2000u);
    EXPECT_FALSE(form->PortOpen);
    EXPECT_EQ(form->PortSessionActive, 0);
    EXPECT_STREQ(form->ComPortName, "");
    EXPECT_EQ(form->PendingCommand, 9999);
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, "Unable to open the selected COM Port. Please select again!");
    EXPECT_EQ(LastBox().flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
}

TEST_F(MainformExchangeTest, OpenWithoutASelectedRowDoesNothing) {
    form->ComPortListBox->SetItemIndex(-1);
    form->OpenComPortButton->UserClick();
    EXPECT_FALSE(form->PortOpen);
    EXPECT_TRUE(headless->MessageBoxes().empty());
    EXPECT_EQ(form->PendingCommand, 9999);
}

TEST_F(MainformExchangeTest, CloseButtonAbandonsTheAwaitedReplyWithoutATimeOutMessage) {
    form->OpenComPortButton->UserClick();
    ExpectRequest("AT+QVCMD1=7");
    form->FWVerLabel->SetCaption("Firmware version: V1.02");
    form->CloseComPortButton->UserClick();
    EXPECT_FALSE(form->PortOpen);
    EXPECT_EQ(form->PortSessionActive, 0);
    EXPECT_EQ(form->FWVerLabel->Caption(), "");
    EXPECT_EQ(form->PendingCommand, 9999);
    ExpireTimeout();
    EXPECT_TRUE(headless->MessageBoxes().empty());
}

TEST_F(MainformExchangeTest, RequestThatCannotBeWrittenEndsAtOnceAndKeepsTheEdits) {
    OpenAndQuery();
    form->SpeedDial1LabeledEdit->UserSetText("123");
    form->A2dpMixChanged = true;
    form->GpsSettingChanged = true;
    headset->HangUp();
    // The event thread sees the device go and closes the port on the window thread.
    ASSERT_TRUE(PumpUntil([&] { return !form->ComPort1->Active(); }));
    form->SaveA2dpAudioSettingButton->Click();
    EXPECT_EQ(form->PendingCommand, 9999);
    EXPECT_FALSE(form->UartRespTimeoutTimer->Enabled());
    EXPECT_EQ(headless->ShownExceptions().size(), 1u);
    form->SaveSpeedDialSettingButton->Click();
    form->SaveGPSAudioSettingButton->Click();
    EXPECT_EQ(headless->ShownExceptions().size(), 3u);
    // Nothing was saved: every page is still edited, and closing asks before losing it.
    EXPECT_TRUE(form->SpeedDialChanged);
    EXPECT_TRUE(form->A2dpMixChanged);
    EXPECT_TRUE(form->GpsSettingChanged);
    EXPECT_EQ(form->SpeedDial1LabeledEdit->Text(), "123");
    headless->ClearMessageBoxes();
    headless->AnswerMessageBox(IDNO);
    bool canClose = true;
    form->FormCloseQuery(form, canClose);
    EXPECT_FALSE(canClose);
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, "The settings had been changed. Are you sure to exit?");
}

// ---- Settings pages

TEST_F(MainformExchangeTest, SpeedDialsAreValidatedInOrderCharacterTestFirst) {
    OpenAndQuery();
    struct Case {
        const char* dial1;
        const char* dial2;
        const char* dial3;
        const char* message;
        int focus;  // 1..3
    } cases[] = {
        {"0912-345", "", "",
         "The allowed input string is from 0 to 9, plus sign, star sign and "
         "pound sign.",
         1},
        {"12345678901234567", "", "", "Exceed the allowed number of digits.", 1},
        {"1", "12345678901234567", "12a", "Exceed the allowed number of digits.", 2},
        {"1", "2", "123456789012345678x",
         "The allowed input string is from 0 to 9, plus sign, "
         "star sign and pound sign.",
         3},
        {"1", "2", "12 3",
         "The allowed input string is from 0 to 9, plus sign, star sign and "
         "pound sign.",
         3},
    };
    ui::TLabeledEdit* edits[] = {form->SpeedDial1LabeledEdit, form->SpeedDial2LabeledEdit,
                                 form->SpeedDial3LabeledEdit};
    for (const Case& c : cases) {
        headless->ClearMessageBoxes();
        edits[0]->UserSetText(c.dial1);
        edits[1]->UserSetText(c.dial2);
        edits[2]->UserSetText(c.dial3);
        form->SaveSpeedDialSettingButton->UserClick();
        ASSERT_EQ(headless->MessageBoxes().size(), 1u) << c.dial1;
        EXPECT_EQ(LastBox().text, c.message);
        EXPECT_EQ(LastBox().caption, "Error");
        EXPECT_EQ(LastBox().flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
        EXPECT_EQ(form->ActiveControl(), edits[c.focus - 1]) << c.dial1;
        EXPECT_TRUE(form->SpeedDialChanged);
        EXPECT_EQ(form->PendingCommand, 9999);
    }
    EXPECT_FALSE(headset->HasPendingBytes());
}

TEST_F(MainformExchangeTest, SavingSpeedDialsSendsTheThreeNumbersInAChain) {
    OpenAndQuery();
    form->SpeedDial1LabeledEdit->UserSetText("+886*12#");
    form->SpeedDial2LabeledEdit->UserSetText("1234567890123456");
    form->SpeedDial3LabeledEdit->UserSetText("");
    form->SaveSpeedDialSettingButton->UserClick();
    EXPECT_FALSE(form->SpeedDialChanged);  // clean at once, before the headset answers
    ExpectRequest("AT+QVCMD1=21,+886*12#");
    AnswerWith("+QVSTS1=21,+886*12#");
    ExpectRequest("AT+QVCMD1=22,1234567890123456");
    AnswerWith("+QVSTS1=22,1234567890123456");
    ExpectRequest("AT+QVCMD1=23,");
    EXPECT_STREQ(form->SpeedDial3Saved, "");
    AnswerWith("+QVSTS1=23,");
    ASSERT_TRUE(PumpUntil([&] { return form->PendingCommand == 9999; }));
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, "Save successfully.");
    EXPECT_EQ(LastBox().caption, "Note");
    EXPECT_EQ(LastBox().flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_STREQ(form->SpeedDial2Saved, "1234567890123456");
    EXPECT_TRUE(LogHas("UART_CMD_ASSIGN_SPEED_DIAL3 Phone_Number = ''"));
}

TEST_F(MainformExchangeTest, SaveChainSendsTheValidatedNumbersNotTextTypedWhileItRuns) {
    OpenAndQuery();
    form->SpeedDial1LabeledEdit->UserSetText("111");
    form->SpeedDial2LabeledEdit->UserSetText("222");
    form->SpeedDial3LabeledEdit->UserSetText("333");
    form->SaveSpeedDialSettingButton->UserClick();
    ExpectRequest("AT+QVCMD1=21,111");
    // Typed while the chain runs, after the edits were validated: never sent.
    form->SpeedDial2LabeledEdit->UserSetText("12a");
    form->SpeedDial3LabeledEdit->UserSetText("4444");
    EXPECT_TRUE(form->SpeedDialChanged);
    AnswerWith("+QVSTS1=21,111");
    ExpectRequest("AT+QVCMD1=22,222");
    AnswerWith("+QVSTS1=22,222");
    ExpectRequest("AT+QVCMD1=23,333");
    AnswerWith("+QVSTS1=23,333");
    ASSERT_TRUE(PumpUntil([&] { return form->PendingCommand == 9999; }));
    EXPECT_EQ(LastBox().text, "Save successfully.");
    // The revert values are what was sent; the edits keep what was typed, still unsaved.
    EXPECT_STREQ(form->SpeedDial2Saved, "222");
    EXPECT_STREQ(form->SpeedDial3Saved, "333");
    EXPECT_EQ(form->SpeedDial2LabeledEdit->Text(), "12a");
    EXPECT_TRUE(form->SpeedDialChanged);
    headless->AnswerMessageBox(IDYES);
    EXPECT_TRUE(form->PageControl1->UserSelectPage(1));
    EXPECT_EQ(LastBox().text, "The settings had been changed. Are you sure to exit?");
    EXPECT_EQ(form->SpeedDial2LabeledEdit->Text(), "222");
}

TEST_F(MainformExchangeTest, MixAndSharingSavesSendTheControlPositions) {
    OpenAndQuery();
    form->PageControl1->UserSelectPage(1);
    form->A2DPAudioMixPercentageUpDown->UserClick(ui::btNext);
    EXPECT_TRUE(form->A2dpMixChanged);
    form->SaveA2dpAudioSettingButton->UserClick();
    EXPECT_FALSE(form->A2dpMixChanged);
    ExpectRequest("AT+QVCMD1=24,36");
    EXPECT_EQ(form->A2dpMixPercent, 36);
    AnswerWith("+QVSTS1=24,36");
    ASSERT_TRUE(PumpUntil([&] { return form->PendingCommand == 9999; }));
    EXPECT_TRUE(LogHas("UART_CMD_ASSIGN_MUSIC_MIX_SETTING Percentage = 36 %"));

    form->PageControl1->UserSelectPage(2);
    form->GPSAudioSharingUpDown->UserClick(ui::btNext);  // No -> Yes
    form->SaveGPSAudioSettingButton->UserClick();
    ExpectRequest("AT+QVCMD1=25,40,1");
    AnswerWith("+QVSTS1=25,40,1");
    ASSERT_TRUE(PumpUntil([&] { return form->PendingCommand == 9999; }));
    EXPECT_EQ(headless->MessageBoxes().size(), 2u);
}

TEST_F(MainformExchangeTest, SharingArrowsToggleBetweenYesAndNo) {
    OpenAndQuery();
    form->PageControl1->UserSelectPage(2);
    ui::TUpDown* sharing = form->GPSAudioSharingUpDown;
    for (ui::TUDBtnType arrow : {ui::btNext, ui::btPrev}) {
        sharing->SetPosition(1);
        form->ShowGpsSharingText();
        sharing->UserClick(arrow);
        EXPECT_EQ(sharing->Position(), 0);
        EXPECT_EQ(form->GPSAudioSharingLabeledEdit->Text(), "No");
        sharing->UserClick(arrow);
        EXPECT_EQ(sharing->Position(), 1);
        EXPECT_EQ(form->GPSAudioSharingLabeledEdit->Text(), "Yes");
    }
    EXPECT_TRUE(form->GpsSettingChanged);
}

TEST_F(MainformExchangeTest, PercentageArrowsStopAtTheirBounds) {
    OpenAndQuery();
    form->PageControl1->UserSelectPage(1);
    ui::TUpDown* a2dp = form->A2DPAudioMixPercentageUpDown;
    a2dp->SetPosition(100);
    a2dp->UserClick(ui::btNext);
    EXPECT_EQ(a2dp->Position(), 100);
    a2dp->SetPosition(1);
    a2dp->UserClick(ui::btPrev);
    EXPECT_EQ(a2dp->Position(), 1);
}

TEST_F(MainformExchangeTest, LeavingAnEditedPageAsksAndYesRevertsToTheLastKnownValue) {
    OpenAndQuery();
    form->PageControl1->UserSelectPage(1);
    form->A2DPAudioMixPercentageUpDown->UserClick(ui::btNext);
    headless->AnswerMessageBox(IDNO);
    EXPECT_FALSE(form->PageControl1->UserSelectPage(0));
    EXPECT_EQ(form->PageControl1->ActivePage(), form->A2DPAudioSettingTabSheet);
    EXPECT_EQ(form->A2DPAudioMixPercentageUpDown->Position(), 36);
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, "The settings had been changed. Are you sure to exit?");
    EXPECT_EQ(LastBox().caption, "Note");
    EXPECT_EQ(LastBox().flags, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
    headless->AnswerMessageBox(IDYES);
    EXPECT_TRUE(form->PageControl1->UserSelectPage(0));
    EXPECT_EQ(form->A2DPAudioMixPercentageUpDown->Position(), 35);
    EXPECT_FALSE(form->A2dpMixChanged);
    // Back and away again: nothing to ask.
    EXPECT_TRUE(form->PageControl1->UserSelectPage(1));
    EXPECT_TRUE(form->PageControl1->UserSelectPage(3));
    EXPECT_EQ(headless->MessageBoxes().size(), 2u);
}

TEST_F(MainformExchangeTest, YesOnLeavingRevertsEveryControlOfTheSpeedDialAndGpsPages) {
    OpenAndQuery();
    form->SpeedDial1LabeledEdit->UserSetText("999");
    form->SpeedDial3LabeledEdit->UserSetText("111");
    headless->AnswerMessageBox(IDNO);
    EXPECT_FALSE(form->PageControl1->UserSelectPage(2));
    EXPECT_EQ(form->SpeedDial1LabeledEdit->Text(), "999");
    headless->AnswerMessageBox(IDYES);
    EXPECT_TRUE(form->PageControl1->UserSelectPage(2));
    EXPECT_EQ(form->SpeedDial1LabeledEdit->Text(), "+886*12#");
    EXPECT_EQ(form->SpeedDial2LabeledEdit->Text(), "0912345678");
    EXPECT_EQ(form->SpeedDial3LabeledEdit->Text(), "");
    EXPECT_FALSE(form->SpeedDialChanged);

    form->GPSAudioMixPercentageUpDown->UserClick(ui::btNext);
    form->GPSAudioSharingUpDown->UserClick(ui::btNext);  // No -> Yes
    ASSERT_EQ(form->GPSAudioSharingLabeledEdit->Text(), "Yes");
    headless->AnswerMessageBox(IDYES);
    EXPECT_TRUE(form->PageControl1->UserSelectPage(3));
    EXPECT_EQ(form->GPSAudioMixPercentageUpDown->Position(), 40);
    EXPECT_EQ(form->GPSAudioMixPercentageLabeledEdit->Text(), "40");
    EXPECT_EQ(form->GPSAudioSharingUpDown->Position(), 0);
    EXPECT_EQ(form->GPSAudioSharingLabeledEdit->Text(), "No");
    EXPECT_FALSE(form->GpsSettingChanged);
    EXPECT_EQ(headless->MessageBoxes().size(), 3u);
    // The upgrade page has no guard, whatever the other pages hold.
    form->A2dpMixChanged = true;
    EXPECT_TRUE(form->PageControl1->UserSelectPage(0));
    EXPECT_EQ(headless->MessageBoxes().size(), 3u);
}

TEST_F(MainformExchangeTest, SavedSpeedDialsLeaveThePageWithoutAQuestion) {
    OpenAndQuery();
    form->SpeedDial1LabeledEdit->UserSetText("123");
    form->SaveSpeedDialSettingButton->UserClick();
    EXPECT_TRUE(form->PageControl1->UserSelectPage(1));  // before the headset answered
    EXPECT_TRUE(headless->MessageBoxes().empty());
}

TEST_F(MainformExchangeTest, RestoreDefaultsConfirmedRunsTheQueriesAgainAndReportsOnce) {
    OpenAndQuery();
    // No, or anything but an explicit Yes (a box that could not be shown), sends nothing.
    for (int answer : {IDNO, IDCANCEL}) {
        headless->AnswerMessageBox(answer);
        form->RestoreDefaultButton->UserClick();
        EXPECT_FALSE(form->RestoreDefaultPending) << answer;
        EXPECT_EQ(form->PendingCommand, 9999) << answer;
    }
    EXPECT_FALSE(headset->HasPendingBytes());
    ASSERT_EQ(headless->MessageBoxes().size(), 2u);
    EXPECT_EQ(LastBox().text, "Are you sure to restore the default settings?");
    EXPECT_EQ(LastBox().caption, "Note");
    EXPECT_EQ(LastBox().flags, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));

    headless->AnswerMessageBox(IDYES);
    form->RestoreDefaultButton->UserClick();
    ExpectRequest("AT+QVCMD1=27");
    AnswerWith("+QVSTS1=27");
    RunQuerySequence();
    ASSERT_EQ(headless->MessageBoxes().size(), 4u);
    EXPECT_EQ(LastBox().text, "To restore default settings.");
    EXPECT_EQ(LastBox().caption, "Note");
    EXPECT_EQ(LastBox().flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_FALSE(form->RestoreDefaultPending);
}

TEST_F(MainformExchangeTest, QueryRepliesRaiseTheChangeEventsAndTheSequenceEndsWithCleanPages) {
    std::map<int, std::string> factory = kReplies;
    factory[1] = "+QVSTS1=1,";
    factory[2] = "+QVSTS1=2,";
    factory[4] = "+QVSTS1=4,20";
    factory[5] = "+QVSTS1=5,20,1";
    const struct {
        const char* how;
        std::function<void()> start;
        const std::map<int, std::string>& replies;
    } ways[] = {
        {"open", [&] { form->OpenComPortButton->UserClick(); }, kReplies},
        {"factory reset",
         [&] {
             headless->AnswerMessageBox(IDYES);
             form->RestoreDefaultButton->UserClick();
             ExpectRequest("AT+QVCMD1=27");
             AnswerWith("+QVSTS1=27");
         },
         factory},
    };
    for (const auto& way : ways) {  // in this order, on one session
        SCOPED_TRACE(way.how);
        way.start();
        for (int code : kQuerySequence) {
            ASSERT_EQ(headset->NextRequest(), "AT+QVCMD1=" + std::to_string(code));
            if (code == 5) {
                // The speed dials and the A2DP position have been set by the program; the
                // GPS page has not been touched yet.
                EXPECT_TRUE(form->SpeedDialChanged);
                EXPECT_TRUE(form->A2dpMixChanged);
                EXPECT_FALSE(form->GpsSettingChanged);
            }
            AnswerWith(way.replies.at(code));
        }
        ASSERT_TRUE(PumpUntil([&] { return form->PendingCommand == 9999; }));
        EXPECT_FALSE(form->SpeedDialChanged || form->A2dpMixChanged || form->GpsSettingChanged);
    }
    EXPECT_EQ(form->A2DPAudioMixPercentageUpDown->Position(), 20);
    EXPECT_EQ(form->GPSAudioSharingLabeledEdit->Text(), "Yes");
    EXPECT_EQ(LastBox().text, "To restore default settings.");
}

TEST_F(MainformExchangeTest, AbandonedRestoreIsNotReportedByALaterQuerySequence) {
    const struct {
        const char* how;
        std::function<void()> abandon;
    } ways[] = {
        {"time-out", [&] { ExpireTimeout(); }},
        {"Close button", [&] { form->CloseComPortButton->UserClick(); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        OpenAndQuery();
        headless->AnswerMessageBox(IDYES);
        form->RestoreDefaultButton->UserClick();
        ExpectRequest("AT+QVCMD1=27");
        way.abandon();
        EXPECT_FALSE(form->RestoreDefaultPending);
        headless->ClearMessageBoxes();
        OpenAndQuery();
        EXPECT_TRUE(headless->MessageBoxes().empty());
        form->CloseComPortButton->UserClick();
    }
}

// ---- Hand-over to the firmware upgrade

TEST_F(MainformExchangeTest, EnterUpgradeModeReplyClosesThePortThroughTheTimers) {
    OpenAndQuery();
    form->PendingCommand = 20;
    form->SendCommand();
    ExpectRequest("AT+QVCMD1=20");
    AnswerWith("+QVSTS1=20");
    ASSERT_TRUE(PumpUntil([&] { return form->PendingCommand == 9999; }));
    EXPECT_TRUE(LogHas("UART_CMD_ENTER_DFU_MODE OK."));
    EXPECT_EQ(ui::THeadlessBackend::CursorId(headless->CurrentCursor()),
              ui::THeadlessBackend::CursorId(ui::LoadSystemCursor(IDC_WAIT)));
    EXPECT_TRUE(form->StartDFUTimer->Enabled());
    EXPECT_EQ(form->StartDFUTimer->Interval(), 1000u);
    headless->Advance(1);
    ui::Application->ProcessMessages();
    EXPECT_FALSE(form->PortOpen);
    EXPECT_FALSE(form->ComPort1->Active());
    EXPECT_EQ(form->PortSessionActive, 0);
    // A second later the upgrade waits for the DFU device; none comes here. No time-out
    // message follows the reply.
    headless->Advance(1000);
    ui::Application->ProcessMessages();
    EXPECT_FALSE(form->StartDFUTimer->Enabled());
    ASSERT_EQ(headless->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().caption, "Note");
    EXPECT_EQ(LastBox().text.substr(0, 53),
              "Your computer is not connected to a Bluetooth device.");
}

// ---- Which controls the port and upgrade states enable

TEST_F(MainformTest, ControlStatesFollowThePortAndTheUpgrade) {
    OpenMainWindow(app::kLanguageEnglish);
    TMajorForm& f = *form;
    const std::vector<ui::TControl*> portPicking = {f.OpenComPortButton, f.ComPortListBox,
                                                    f.SelectComPortLabel};
    const std::vector<ui::TControl*> openPort = {f.CloseComPortButton,
                                                 f.SpeedDial1LabeledEdit,
                                                 f.SpeedDial2LabeledEdit,
                                                 f.SpeedDial3LabeledEdit,
                                                 f.SaveSpeedDialSettingButton,
                                                 f.A2DPAudioMixPercentageLabeledEdit,
                                                 f.A2DPAudioMixPercentageUpDown,
                                                 f.SaveA2dpAudioSettingButton,
                                                 f.GPSAudioMixPercentageLabeledEdit,
                                                 f.GPSAudioMixPercentageUpDown,
                                                 f.GPSAudioSharingLabeledEdit,
                                                 f.GPSAudioSharingUpDown,
                                                 f.SaveGPSAudioSettingButton,
                                                 f.OpenDfuFileButton,
                                                 f.StartDFUUpgradeButton,
                                                 f.RestoreDefaultButton,
                                                 f.SpeedDialSettingMemo,
                                                 f.A2DPAudioSettingMemo,
                                                 f.GPSAudioSettingMemo};
    const std::vector<ui::TControl*> progress = {f.InfoLabel, f.ElapsedLabel, f.UpgradeProgressBar};
    for (bool open : {true, false, true}) {
        f.PortOpen = open;
        for (ui::TControl* c : progress) c->Show();
        f.UpdateControlStates();
        for (ui::TControl* c : portPicking) EXPECT_EQ(c->Enabled(), !open) << c->Name();
        for (ui::TControl* c : openPort) EXPECT_EQ(c->Enabled(), open) << c->Name();
        EXPECT_TRUE(f.PageControl1->Enabled());
        for (ui::TControl* c : progress) EXPECT_FALSE(c->Visible()) << c->Name();
    }
    // An upgrade takes the port, the pages and the upgrade buttons away and leaves the rest.
    f.UpgradeStage = 1;
    for (ui::TControl* c : progress) c->Show();
    f.UpdateControlStates();
    for (ui::TControl* c : std::vector<ui::TControl*>{
             f.OpenComPortButton, f.CloseComPortButton, f.ComPortListBox, f.SelectComPortLabel,
             f.PageControl1, f.OpenDfuFileButton, f.StartDFUUpgradeButton, f.RestoreDefaultButton})
        EXPECT_FALSE(c->Enabled()) << c->Name();
    EXPECT_TRUE(f.SpeedDial1LabeledEdit->Enabled());
    EXPECT_TRUE(f.GPSAudioSettingMemo->Enabled());
    for (ui::TControl* c : progress) EXPECT_TRUE(c->Visible()) << c->Name();
    f.UpgradeStage = 0;
    f.UpdateControlStates();
    EXPECT_TRUE(f.PageControl1->Enabled());
    EXPECT_TRUE(f.CloseComPortButton->Enabled());
}

// ---- The device line from the USB configuration text

TEST(DeviceConfigLine, NamesTheFirmwareAndPsrFilesOfTheConfigurationText) {
    app::SetTextLanguageOverride(app::kLanguageEnglish);
    const struct {
        const char* config;
        const char* line;
    } cases[] = {
        {"FW:KXV5_V102.XPV PSR:KXV5_TW.PSR",
         "Firmware file : KXV5_V102.xpv/.xdv        psr file : KXV5_TW.psr"},
        // Each name runs to the end of the text unless its ending cuts it, at the first one.
        {"FW:A PSR:B", "Firmware file : A PSR:B        psr file : B"},
        {"PSR:P.PSR FW:F.XPV.XPV", "Firmware file : F.xpv/.xdv        psr file : P.psr"},
        {"PSR:P1.PSR;FW:F1.XPV;", "Firmware file : F1.xpv/.xdv        psr file : P1.psr"},
        // The endings are found case-sensitively.
        {"FW:F.xpv PSR:P.psr", "Firmware file : F.xpv PSR:P.psr        psr file : P.psr"},
    };
    for (const auto& c : cases) EXPECT_EQ(device::DeviceConfigLine(c.config), c.line) << c.config;
    app::SetTextLanguageOverride(0);
}

// ---- Device removal

TEST_F(MainformExchangeTest, RemovalOfTheOpenPortsDeviceDisconnects) {
    OpenAndQuery();
    ports.present = {{"COM1", "Communications Port"}};
    form->Perform(WM_DEVICECHANGE, 0x8004, 0);
    EXPECT_FALSE(form->ComPort1->Active());
    EXPECT_EQ(form->PortSessionActive, 0);
    EXPECT_EQ(form->FWVerLabel->Caption(), "");
    EXPECT_EQ(Rows(), std::vector<std::string>{"COM1  -  Communications Port"});
    EXPECT_EQ(form->ComPortListBox->ItemIndex(), -1);  // no USB selection after a removal
}

TEST_F(MainformExchangeTest, RemovalKeepsThePortWhileItsDescriptionIsPresent) {
    ports.present = {{"COM5", "USB Serial Device"},
                     {"COM6", "USB Serial Device"},
                     {"COM1", "Communications Port"}};
    form->RefreshComPortList();
    form->ComPortListBox->SetItemIndex(1);
    OpenAndQuery();
    // Another port with the same description remains.
    ports.present = {{"COM6", "USB Serial Device"}, {"COM1", "Communications Port"}};
    form->Perform(WM_DEVICECHANGE, 0x8004, 0);
    EXPECT_TRUE(form->ComPort1->Active());
    EXPECT_EQ(Rows().size(), 3u);  // the session is active: no refresh
    // As many ports as listed: never closes.
    ports.present = {{"COM7", "A"}, {"COM8", "B"}, {"COM9", "C"}};
    form->Perform(WM_DEVICECHANGE, 0x8004, 0);
    EXPECT_TRUE(form->ComPort1->Active());
}

TEST_F(MainformExchangeTest, PortWithoutDescriptionIsFollowedByItsName) {
    // Ports listed from the serial device map have no description.
    ports.present = {{"COM5", ""}, {"COM1", ""}, {"COM2", ""}};
    form->RefreshComPortList();
    form->ComPortListBox->SetItemIndex(2);
    OpenAndQuery();
    ports.present = {{"COM5", ""}, {"COM1", ""}};
    form->Perform(WM_DEVICECHANGE, 0x8004, 0);
    EXPECT_TRUE(form->ComPort1->Active());
    // Another port without a description remains, but not this one.
    ports.present = {{"COM1", ""}};
    form->Perform(WM_DEVICECHANGE, 0x8004, 0);
    EXPECT_FALSE(form->ComPort1->Active());
    EXPECT_EQ(form->PortSessionActive, 0);
    EXPECT_EQ(Rows(), std::vector<std::string>{"COM1  -  "});
}

}  // namespace
