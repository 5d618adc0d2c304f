// The application object, forms, timers, the virtual clock, message boxes, dialogs and the
// standard error display, on the headless back end.
#include <stdexcept>
#include <string>
#include <vector>

#include "HeadlessFixture.h"

using namespace ui;

namespace {

class ApplicationTest : public HeadlessTest {};

// ---- Timers and the virtual clock

struct TimerRig {
    explicit TimerRig(TComponent* owner, unsigned interval, bool enabled = true) {
        timer = new TTimer(owner);
        timer->SetEnabled(false);
        timer->SetInterval(interval);
        timer->OnTimer = [this](TObject* sender) {
            EXPECT_EQ(sender, timer);
            ticks.push_back(TickCount());
        };
        timer->SetEnabled(enabled);
    }
    TTimer* timer;
    std::vector<DWORD> ticks;
};

TEST_F(ApplicationTest, TimerTicksEveryIntervalOfVirtualTime) {
    auto form = MakeForm();
    TimerRig rig(form.get(), 100);
    backend->Advance(99);
    EXPECT_TRUE(rig.ticks.empty());
    backend->Advance(1);
    backend->Advance(250);
    EXPECT_EQ(rig.ticks, (std::vector<DWORD>{100, 200, 300}));
    EXPECT_EQ(TickCount(), 350u);
    rig.timer->SetEnabled(false);
    backend->Advance(1000);
    EXPECT_EQ(rig.ticks.size(), 3u);
    EXPECT_FALSE(backend->TimerRunning(*rig.timer));
}

TEST_F(ApplicationTest, ChangingTheIntervalRestartsThePeriod) {
    auto form = MakeForm();
    TimerRig rig(form.get(), 1000);
    backend->Advance(600);
    rig.timer->SetInterval(1000);  // the same value: no restart
    EXPECT_EQ(backend->TimerDue(*rig.timer), 1000u);
    rig.timer->SetInterval(500);  // a full new period from 600
    backend->Advance(499);
    EXPECT_TRUE(rig.ticks.empty());
    backend->Advance(1);
    EXPECT_EQ(rig.ticks, (std::vector<DWORD>{1100}));
}

TEST_F(ApplicationTest, EnablingThenSettingTheIntervalWaitsTheNewInterval) {
    auto form = MakeForm();
    TimerRig rig(form.get(), 10, false);
    backend->Advance(5);
    rig.timer->SetEnabled(true);
    rig.timer->SetInterval(1000);
    backend->Advance(999);
    EXPECT_TRUE(rig.ticks.empty());
    backend->Advance(1);
    EXPECT_EQ(rig.ticks, (std::vector<DWORD>{1005}));
}

TEST_F(ApplicationTest, TimerDisabledInItsHandlerTicksOnce) {
    auto form = MakeForm();
    auto* timer = new TTimer(form.get());
    timer->SetInterval(100);
    int ticks = 0;
    timer->OnTimer = [&](TObject*) {
        timer->SetEnabled(false);
        ++ticks;
    };
    backend->Advance(1000);
    EXPECT_EQ(ticks, 1);
}

TEST_F(ApplicationTest, TimersFallingDueTogetherTickInStartOrder) {
    auto form = MakeForm();
    std::vector<int> order;
    auto* a = new TTimer(form.get());
    auto* b = new TTimer(form.get());
    b->SetInterval(50);
    b->SetInterval(100);
    a->SetInterval(100);  // both periods end at 100; b's started first
    a->OnTimer = [&](TObject*) { order.push_back(1); };
    b->OnTimer = [&](TObject*) { order.push_back(2); };
    backend->Advance(100);
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

TEST_F(ApplicationTest, SleepAdvancesTheClockWithoutRunningTimers) {
    auto form = MakeForm();
    TimerRig rig(form.get(), 100);
    DWORD start = TickCount();
    SleepMs(350);
    EXPECT_EQ(TickCount() - start, 350u);
    EXPECT_TRUE(rig.ticks.empty());
    // Processing messages then runs the overdue timer once.
    Application->ProcessMessages();
    EXPECT_EQ(rig.ticks, (std::vector<DWORD>{350}));
    Application->ProcessMessages();
    EXPECT_EQ(rig.ticks.size(), 1u);
}

TEST_F(ApplicationTest, TickCountWrapsAtThirtyTwoBits) {
    backend->SetNow(0xFFFFFFF0u);
    DWORD start = TickCount();
    SleepMs(0x20);
    EXPECT_EQ(TickCount(), 0x10u);
    EXPECT_EQ(static_cast<DWORD>(TickCount() - start), 0x20u);
}

TEST_F(ApplicationTest, ExceptionInATimerIsShownAndTheTimerGoesOn) {
    auto form = MakeForm();
    auto* timer = new TTimer(form.get());
    timer->SetInterval(10);
    timer->OnTimer = [](TObject*) { throw std::runtime_error("tick failed"); };
    backend->Advance(20);
    EXPECT_EQ(backend->ShownExceptions(), (std::vector<std::string>{"tick failed", "tick failed"}));
}

// ---- Message boxes

TEST_F(ApplicationTest, MessageBoxWithoutScriptAnswersItsDefaultButton) {
    struct Case {
        UINT flags;
        int answer;
    };
    const Case cases[] = {
        {MB_OK | MB_ICONINFORMATION, IDOK},
        {MB_YESNO | MB_ICONWARNING, IDYES},
        {MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, IDNO},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_RETRYCANCEL, IDRETRY},
        {MB_OK | MB_DEFBUTTON2, IDOK},  // no second button: the first
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Application->MessageBox("t", "c", c.flags), c.answer) << std::hex << c.flags;
    }
}

TEST_F(ApplicationTest, MessageBoxesAnswerFromTheScriptAndAreRecorded) {
    TForm* form = nullptr;
    Application->CreateForm(form);
    backend->AnswerMessageBox(IDYES);
    backend->AnswerMessageBox(IDNO);
    EXPECT_EQ(Application->MessageBox("Sure?", "Note", MB_YESNO | MB_DEFBUTTON2), IDYES);
    EXPECT_EQ(Application->MessageBox("Sure?", "Note", MB_YESNO), IDNO);
    EXPECT_EQ(Application->MessageBox("Sure?", "Note", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(backend->PendingAnswers(), 0);
    ASSERT_EQ(backend->MessageBoxes().size(), 3u);
    const TMessageBoxRecord& box = backend->MessageBoxes()[0];
    EXPECT_EQ(box.owner, form);
    EXPECT_EQ(box.text, "Sure?");
    EXPECT_EQ(box.caption, "Note");
    EXPECT_EQ(box.flags, MB_YESNO | MB_DEFBUTTON2);
    EXPECT_EQ(box.answer, IDYES);
}

TEST_F(ApplicationTest, MessageBoxHookSeesTheBoxWhileItIsOpen) {
    std::string seen;
    backend->OnMessageBox = [&](const TMessageBoxRecord& box) {
        seen = box.text;
        return IDCANCEL;
    };
    EXPECT_EQ(Application->MessageBox("Retry?", "Error", MB_RETRYCANCEL), IDCANCEL);
    EXPECT_EQ(seen, "Retry?");
}

// ---- The standard error display

TEST_F(ApplicationTest, StandardErrorDisplayShowsTheMessageInAnErrorBox) {
    TForm* form = nullptr;
    Application->CreateForm(form);
    Application->SetTitle("KX-V5 Tool Program");
    auto* button = new TButton(form);
    button->OnClick = [](TObject*) { throw std::runtime_error("Port is busy"); };
    form->Show();
    EXPECT_TRUE(button->UserClick());
    ASSERT_EQ(backend->MessageBoxes().size(), 1u);
    const TMessageBoxRecord& box = backend->MessageBoxes()[0];
    EXPECT_EQ(box.owner, form);
    EXPECT_EQ(box.text, "Port is busy");
    EXPECT_EQ(box.caption, "KX-V5 Tool Program");
    EXPECT_EQ(box.flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(backend->ShownExceptions(), (std::vector<std::string>{"Port is busy"}));
}

TEST_F(ApplicationTest, ExceptionNotDerivedFromStdExceptionShowsAnEmptyMessage) {
    auto form = MakeForm();
    auto* button = new TButton(form.get());
    button->OnClick = [](TObject*) { throw 42; };
    button->UserClick();
    // The same for a call another thread posted.
    TWindowThread::Post([] { throw std::string("not an exception class"); });
    TWindowThread::Post([] { throw std::logic_error("posted"); });
    Application->ProcessMessages();
    EXPECT_EQ(backend->ShownExceptions(), (std::vector<std::string>{"", "", "posted"}));
    ASSERT_EQ(backend->MessageBoxes().size(), 3u);
    EXPECT_EQ(backend->MessageBoxes()[0].text, "");
    EXPECT_EQ(backend->MessageBoxes()[0].flags, MB_OK | MB_ICONERROR);
}

TEST_F(ApplicationTest, HandleExceptionInsideACatchBlock) {
    try {
        throw std::runtime_error("at start");
    } catch (...) {
        Application->HandleException();
    }
    EXPECT_EQ(backend->ShownExceptions(), (std::vector<std::string>{"at start"}));
}

TEST_F(ApplicationTest, TitleDefaultsToTheProgramName) {
    EXPECT_FALSE(Application->Title().empty());
    EXPECT_EQ(Application->Title().find('.'), std::string::npos);
    Application->SetTitle("KX-V5 Tool Program");
    EXPECT_EQ(backend->Title(), "KX-V5 Tool Program");
}

// ---- Forms: creation, showing, closing, messages

class RecordingForm : public TForm {
  public:
    RecordingForm() {
        SetCaption("Recording");
        SetClientWidth(883);
        SetClientHeight(544);
        SetBorderStyle(bsDialog);
        SetBorderIcons(biSystemMenu);
        SetPosition(poScreenCenter);
        OnCreate = [this](TObject*) {
            events.push_back(Peer() ? "create with window" : "create without window");
            if (failCreate) throw std::runtime_error("create failed");
        };
        OnShow = [this](TObject*) { events.push_back("show"); };
        OnCloseQuery = [this](TObject*, bool& canClose) {
            events.push_back("closequery");
            canClose = allowClose;
        };
        OnClose = [this](TObject*, TCloseAction& action) {
            events.push_back("close");
            if (keepOpen) action = caNone;
        };
        OnDestroy = [](TObject*) { ++destroyed; };
    }

    void WndProc(TMessage& message) override {
        TForm::WndProc(message);  // default processing first
        if (message.Msg == WM_DEVICECHANGE) {
            deviceEvents.push_back(static_cast<int>(message.WParam));
            defaultResults.push_back(message.Result);
            if (message.WParam == 0x1234) throw std::runtime_error("bad event");
        }
    }

    static inline bool failCreate = false;
    static inline int destroyed = 0;
    std::vector<std::string> events;
    std::vector<int> deviceEvents;
    std::vector<LRESULT> defaultResults;
    bool allowClose = true;
    bool keepOpen = false;
};

class FormTest : public HeadlessTest {
  protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        RecordingForm::failCreate = false;
        RecordingForm::destroyed = 0;
        Application->CreateForm(form);
    }
    RecordingForm* form = nullptr;
};

TEST_F(FormTest, CreateFormMakesTheMainFormWithItsWindowBeforeOnCreate) {
    EXPECT_EQ(Application->MainForm(), form);
    EXPECT_EQ(form->events, (std::vector<std::string>{"create with window"}));
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(form->ClientWidth(), 883);
    EXPECT_EQ(form->Font().Height, -11);
    form->Show();
    EXPECT_TRUE(form->Visible());
    form->Show();  // already visible: no second OnShow
    EXPECT_EQ(form->events.back(), "show");
    EXPECT_EQ(form->events.size(), 2u);
}

TEST_F(FormTest, ExceptionInOnCreateIsShownAndCreationGoesOn) {
    RecordingForm::failCreate = true;
    RecordingForm* second = nullptr;
    Application->CreateForm(second);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(backend->ShownExceptions(), (std::vector<std::string>{"create failed"}));
    EXPECT_EQ(Application->MainForm(), form);
}

TEST_F(FormTest, FormShowsEvenWhenOnShowFails) {
    form->OnShow = [](TObject*) { throw std::runtime_error("show failed"); };
    form->Show();
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(backend->ShownExceptions(), (std::vector<std::string>{"show failed"}));
}

TEST_F(FormTest, CloseRefusedByCloseQueryChangesNothing) {
    form->Show();
    form->allowClose = false;
    form->Close();
    EXPECT_TRUE(form->Visible());
    EXPECT_FALSE(Application->Terminated());
    EXPECT_EQ(form->events.back(), "closequery");
}

TEST_F(FormTest, CloseActionNoneKeepsTheFormOpen) {
    form->Show();
    form->keepOpen = true;
    form->Close();
    EXPECT_TRUE(form->Visible());
    EXPECT_FALSE(Application->Terminated());
}

TEST_F(FormTest, ClosingTheMainFormTerminatesTheApplication) {
    form->Show();
    form->DeliverMessage(WM_CLOSE, 0, 0);  // the title-bar close
    EXPECT_EQ(form->events,
              (std::vector<std::string>{"create with window", "show", "closequery", "close"}));
    EXPECT_FALSE(form->Visible());
    EXPECT_TRUE(Application->Terminated());
}

TEST_F(FormTest, RunShowsTheMainFormAndEndsWhenItCloses) {
    auto* timer = new TTimer(form);
    timer->SetInterval(100);
    int ticks = 0;
    timer->OnTimer = [&](TObject*) {
        if (++ticks == 3) form->Close();
    };
    Application->Run();
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(TickCount(), 300u);
    EXPECT_EQ(RecordingForm::destroyed, 1);  // Run destroyed the forms
    EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST_F(FormTest, WndProcOverrideSeesDeviceChangesAfterDefaultProcessing) {
    form->DeliverMessage(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    form->DeliverMessage(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
    EXPECT_EQ(form->deviceEvents, (std::vector<int>{0x8000, 0x8004}));
    EXPECT_EQ(form->defaultResults, (std::vector<LRESULT>{TRUE, TRUE}));
    EXPECT_EQ(THeadlessBackend::PeerOf(*form)->DefaultHandled().size(), 2u);
    // An exception escaping the dispatch is shown, not thrown at the back end.
    form->DeliverMessage(WM_DEVICECHANGE, 0x1234, 0);
    EXPECT_EQ(backend->ShownExceptions(), (std::vector<std::string>{"bad event"}));
    EXPECT_THROW(form->Perform(WM_DEVICECHANGE, 0x1234, 0), std::runtime_error);
}

TEST_F(FormTest, DeviceNotificationRegistrationIsRecorded) {
    HDEVNOTIFY handle = form->RegisterDeviceInterfaceNotification(kGuidDevInterfaceUsbDevice);
    EXPECT_NE(handle, nullptr);
    ASSERT_EQ(backend->DeviceNotifications().size(), 1u);
    const TDeviceNotificationRecord& record = backend->DeviceNotifications()[0];
    EXPECT_EQ(record.form, form);
    EXPECT_EQ(record.handle, handle);
    EXPECT_EQ(record.interfaceClass.Data1, 0xA5DCBF10u);
    EXPECT_EQ(record.interfaceClass.Data2, 0x6530);
    EXPECT_EQ(record.interfaceClass.Data3, 0x11D2);
    EXPECT_EQ(record.interfaceClass.Data4[7], 0xED);
}

// ---- Cursor, file dialog

TEST_F(ApplicationTest, WaitCursorAndBack) {
    HCURSOR wait = LoadSystemCursor(IDC_WAIT);
    HCURSOR saved = SetCurrentCursor(wait);
    EXPECT_EQ(THeadlessBackend::CursorId(saved), 32512);  // the arrow
    EXPECT_EQ(THeadlessBackend::CursorId(backend->CurrentCursor()), 32514);
    SetCurrentCursor(saved);
    EXPECT_EQ(backend->CurrentCursor(), saved);
    EXPECT_EQ(backend->CursorHistory().size(), 2u);
}

TEST_F(ApplicationTest, OpenDialogAnswersFromTheScript) {
    TForm* form = nullptr;
    Application->CreateForm(form);
    auto* dialog = new TOpenDialog(form);
    dialog->SetFilter("firmware file (*.dfu)|*.dfu");
    dialog->SetFileName("/old/fw.dfu");
    EXPECT_FALSE(dialog->Execute());  // no scripted answer: cancelled
    EXPECT_EQ(dialog->FileName(), "/old/fw.dfu");
    backend->AnswerFileDialog(std::string("/new/KX-V5_fw.dfu"));
    EXPECT_TRUE(dialog->Execute());
    EXPECT_EQ(dialog->FileName(), "/new/KX-V5_fw.dfu");
    ASSERT_EQ(backend->FileDialogs().size(), 2u);
    EXPECT_EQ(backend->FileDialogs()[1].owner, form);
    EXPECT_EQ(backend->FileDialogs()[1].filter, "firmware file (*.dfu)|*.dfu");
    EXPECT_EQ(backend->FileDialogs()[1].fileName, "/old/fw.dfu");
}

}  // namespace
