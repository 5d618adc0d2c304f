// The native controls behind the framework's controls, and user actions on them.
#include "TestForm.h"
// After windows.h (through TestForm.h).
#include <commctrl.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace qvtest {
namespace {

std::string ClassOf(HWND hwnd) {
    char name[64] = "";
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

std::string TextOf(HWND hwnd) {
    char text[512] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// The control's rectangle in its native parent's client coordinates.
RECT PlaceOf(HWND hwnd) {
    RECT r;
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

using Win32ControlsTest = Win32Test;

TEST_F(Win32ControlsTest, EachKindIsTheRightNativeControlAtItsPlace) {
    struct Case {
        const ui::TControl* control;
        const char* className;
        LONG_PTR required;
        LONG_PTR forbidden;
    };
    form_->Pages->SetActivePage(form_->MixSheet);
    const Case cases[] = {
        {form_->PortLabel, "Static", SS_RIGHT | SS_NOPREFIX, 0},
        {form_->PortList, "ListBox", LBS_NOTIFY | WS_TABSTOP, LBS_MULTIPLESEL | LBS_EXTENDEDSEL},
        {form_->OpenButton, "Button", WS_TABSTOP, BS_DEFPUSHBUTTON},
        {form_->Pages, "SysTabControl32", WS_TABSTOP, 0},
        {form_->DialEdit, "Edit", WS_TABSTOP | ES_AUTOHSCROLL, ES_MULTILINE | ES_READONLY},
        {form_->MixEdit, "Edit", ES_READONLY, 0},
        {form_->MixUpDown, "msctls_updown32", UDS_ARROWKEYS,
         UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ALIGNLEFT | UDS_WRAP},
        // Sized by the control itself when created without a buddy; the place given holds.
        {form_->SharingUpDown, "msctls_updown32", UDS_ARROWKEYS,
         UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ALIGNLEFT | UDS_WRAP},
        {form_->NoteMemo, "Edit", ES_MULTILINE | ES_READONLY,
         WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | WS_BORDER},
        {form_->Progress, "msctls_progress32", PBS_SMOOTH, 0},
        {form_->PaintBox, "QvPaintBox", WS_VISIBLE, WS_TABSTOP},
    };
    for (const Case& c : cases) {
        HWND hwnd = Handle(c.control);
        ASSERT_NE(hwnd, nullptr) << c.className;
        EXPECT_STRCASEEQ(ClassOf(hwnd).c_str(), c.className);
        LONG_PTR style = Style(c.control);
        EXPECT_EQ(style & c.required, c.required) << c.className;
        EXPECT_EQ(style & c.forbidden, 0) << c.className;
        RECT r = PlaceOf(hwnd);
        EXPECT_EQ(r.left, c.control->Left()) << c.className;
        EXPECT_EQ(r.top, c.control->Top()) << c.className;
        EXPECT_EQ(r.right - r.left, c.control->Width()) << c.className;
        EXPECT_EQ(r.bottom - r.top, c.control->Height()) << c.className;
    }
    EXPECT_EQ(GetWindowLongPtrA(Handle(form_->NoteMemo), GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
    EXPECT_EQ(SendMessageA(Handle(form_->Progress), PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageA(Handle(form_->Progress), PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(SendMessageA(Handle(form_->MixUpDown), UDM_GETBUDDY, 0, 0),
              reinterpret_cast<LRESULT>(Handle(form_->MixEdit)));
}

TEST_F(Win32ControlsTest, LabelOfALabeledEditSitsThreePixelsToItsLeft) {
    RECT edit = PlaceOf(Handle(form_->DialEdit));
    RECT label = PlaceOf(Handle(&form_->DialEdit->EditLabel()));
    EXPECT_EQ(label.right, edit.left - 3);
    EXPECT_EQ(label.right - label.left, form_->DialEdit->EditLabel().TextWidth("Speed dial 1 "));
    EXPECT_EQ(GetParent(Handle(&form_->DialEdit->EditLabel())), GetParent(Handle(form_->DialEdit)));
}

TEST_F(Win32ControlsTest, TabKeyOrderFollowsTabOrder) {
    HWND hwnd = Handle(form_);
    form_->OpenButton->SetTabOrder(0);  // before the list box now
    HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE);
    EXPECT_EQ(first, Handle(form_->OpenButton));
    EXPECT_EQ(GetNextDlgTabItem(hwnd, first, FALSE), Handle(form_->PortList));
    // Into the active page's controls; the borderless note is no tab stop.
    EXPECT_EQ(GetNextDlgTabItem(hwnd, Handle(form_->PortList), FALSE), Handle(form_->DialEdit));
    EXPECT_EQ(GetNextDlgTabItem(hwnd, Handle(form_->DialEdit), FALSE), Handle(form_->OpenButton));

    // The Tab key itself, through the message loop; the framework learns who has the focus.
    // Keyboard focus needs the active window, which a program starting beside this one
    // (tests run in parallel) may take for a moment: such an attempt is made again.
    bool moved = false;
    for (int attempt = 0; attempt < 20 && !moved; ++attempt) {
        if (attempt > 0) Sleep(25);
        SetForegroundWindow(hwnd);
        form_->OpenButton->SetFocus();
        if (GetFocus() != Handle(form_->OpenButton)) continue;
        PostMessageA(Handle(form_->OpenButton), WM_KEYDOWN, VK_TAB, 0);
        ui::Application->ProcessMessages();
        moved = GetFocus() == Handle(form_->PortList);
    }
    EXPECT_TRUE(moved);
    EXPECT_EQ(form_->ActiveControl(), form_->PortList);
}

TEST_F(Win32ControlsTest, ButtonClickReachesOnClickUnlessDisabled) {
    int clicks = 0;
    form_->OpenButton->OnClick = [&](ui::TObject* sender) {
        EXPECT_EQ(sender, form_->OpenButton);
        ++clicks;
    };
    SendMessageA(Handle(form_->OpenButton), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);

    form_->OpenButton->SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(Handle(form_->OpenButton)));
    SendMessageA(Handle(form_->OpenButton), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);
}

TEST_F(Win32ControlsTest, HandlerExceptionIsShownAndTheWindowGoesOn) {
    form_->OpenButton->OnClick = [](ui::TObject*) { throw std::runtime_error("port is busy"); };
    ui::Application->SetTitle("Tool title");
    TBoxAnswerer box("Tool title", IDOK);
    SendMessageA(Handle(form_->OpenButton), BM_CLICK, 0, 0);
    box.Join();
    ASSERT_TRUE(box.Found);
    EXPECT_EQ(box.Text, "port is busy");
    EXPECT_TRUE(IsWindow(Handle(form_)));
}

TEST_F(Win32ControlsTest, TypedTextReachesOnChangeAndProgramTextReachesTheEdit) {
    int changes = 0;
    form_->DialEdit->OnChange = [&](ui::TObject*) { ++changes; };

    SendMessageA(Handle(form_->DialEdit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("+886*12#"));
    EXPECT_EQ(form_->DialEdit->Text(), "+886*12#");
    EXPECT_EQ(changes, 1);

    form_->DialEdit->SetText("0912");
    EXPECT_EQ(TextOf(Handle(form_->DialEdit)), "0912");
    EXPECT_EQ(changes, 2);  // once, not again for the native echo
}

TEST_F(Win32ControlsTest, UpDownArrowsStepWithinBoundsAndAskOnChanging) {
    form_->Pages->SetActivePage(form_->MixSheet);
    HWND upDown = Handle(form_->MixUpDown);
    int asked = 0;
    bool allow = true;
    form_->MixUpDown->OnChanging = [&](ui::TObject*, bool& allowChange) {
        ++asked;
        allowChange = allow;
    };
    const int up = 4, down = 17;  // y of the upper and the lower arrow

    ClickAt(upDown, 8, up);
    EXPECT_EQ(form_->MixUpDown->Position(), 21);
    EXPECT_EQ(TextOf(Handle(form_->MixEdit)), "21");
    EXPECT_EQ(SendMessageA(upDown, UDM_GETPOS32, 0, 0), 21);

    ClickAt(upDown, 8, down);
    EXPECT_EQ(form_->MixUpDown->Position(), 20);
    EXPECT_EQ(asked, 2);  // once for each click

    form_->MixUpDown->SetPosition(100);  // the program's change is reported too
    EXPECT_EQ(asked, 3);
    ClickAt(upDown, 8, up);
    EXPECT_EQ(form_->MixUpDown->Position(), 100);  // no wrap
    EXPECT_EQ(SendMessageA(upDown, UDM_GETPOS32, 0, 0), 100);
    EXPECT_EQ(asked, 4);  // asked at the bound as well

    allow = false;
    ClickAt(upDown, 8, down);
    EXPECT_EQ(form_->MixUpDown->Position(), 100);
    EXPECT_EQ(TextOf(Handle(form_->MixEdit)), "100");
}

TEST_F(Win32ControlsTest, PageSwitchByTabClickCanBeRefused) {
    HWND tabs = Handle(form_->Pages);
    bool allow = false;
    int changes = 0;
    form_->Pages->OnChanging = [&](ui::TObject*, bool& allowChange) { allowChange = allow; };
    form_->Pages->OnChange = [&](ui::TObject*) { ++changes; };
    RECT second;
    SendMessageA(tabs, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
    ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 2);

    ClickAt(tabs, second.left + 5, second.top + 5);
    EXPECT_EQ(form_->Pages->ActivePage(), form_->DialSheet);
    EXPECT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(IsWindowVisible(Handle(form_->DialSheet)));
    EXPECT_EQ(changes, 0);

    allow = true;
    ClickAt(tabs, second.left + 5, second.top + 5);
    EXPECT_EQ(form_->Pages->ActivePage(), form_->MixSheet);
    EXPECT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_TRUE(IsWindowVisible(Handle(form_->MixEdit)));
    EXPECT_FALSE(IsWindowVisible(Handle(form_->DialEdit)));
    EXPECT_EQ(changes, 1);

    form_->Pages->SetActivePageIndex(0);  // the program's switch shows at once
    EXPECT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(IsWindowVisible(Handle(form_->DialEdit)));
    EXPECT_FALSE(IsWindowVisible(Handle(form_->MixSheet)));
}

TEST_F(Win32ControlsTest, ListBoxShowsItemsAndReportsTheUsersSelection) {
    HWND list = Handle(form_->PortList);
    int clicks = 0;
    form_->PortList->OnClick = [&](ui::TObject*) { ++clicks; };
    form_->PortList->Items().Add("COM1 Communications Port");
    form_->PortList->Items().Add("COM5 USB Serial Device");
    form_->PortList->SetItemIndex(0);
    ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0), 13);

    int height = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    ClickAt(list, 20, height + height / 2);
    EXPECT_EQ(form_->PortList->ItemIndex(), 1);
    EXPECT_EQ(clicks, 1);

    form_->PortList->Items().Clear();
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR);
}

TEST_F(Win32ControlsTest, MemoShowsItsLinesOnThePageColour) {
    HWND memo = Handle(form_->NoteMemo);
    form_->NoteMemo->Lines().SetText("Note: \n\n To input a string only");
    EXPECT_EQ(TextOf(memo), "Note: \r\n\r\n To input a string only");
    form_->NoteMemo->Lines().Add("Send -> 'AT+QVCMD1=7'");
    EXPECT_EQ(TextOf(memo), "Note: \r\n\r\n To input a string only\r\nSend -> 'AT+QVCMD1=7'");
    EXPECT_EQ(SendMessageA(memo, EM_GETLINECOUNT, 0, 0), 4);

    // A read-only edit asks its parent for the colours of a static control.
    HDC dc = GetDC(memo);
    LRESULT brush = SendMessageA(GetParent(memo), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(memo));
    ReleaseDC(memo, dc);
    EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)));
}

TEST_F(Win32ControlsTest, PaintBoxReportsClicksAlsoThroughTheLabelOnIt) {
    int clicks = 0;
    form_->PaintBox->OnClick = [&](ui::TObject*) { ++clicks; };
    ClickAt(Handle(form_->PaintBox), 400, 30);
    EXPECT_EQ(clicks, 1);

    // The label lies over the paint box, is painted above it and lets the mouse through.
    HWND label = Handle(form_->InfoLabel);
    EXPECT_EQ(SendMessageA(label, WM_NCHITTEST, 0, 0), HTTRANSPARENT);
    EXPECT_EQ(GetNextWindow(Handle(form_->PaintBox), GW_HWNDNEXT), nullptr);  // at the bottom
}

TEST_F(Win32ControlsTest, PropertyChangesReachTheNativeControls) {
    HWND label = Handle(form_->InfoLabel);
    form_->InfoLabel->Hide();
    EXPECT_FALSE(IsWindowVisible(label));
    form_->InfoLabel->Show();
    EXPECT_TRUE(IsWindowVisible(label));
    form_->InfoLabel->SetCaption("Firmware version: 1.2");
    EXPECT_EQ(TextOf(label), "Firmware version: 1.2");
    EXPECT_EQ(Style(form_->InfoLabel) & SS_TYPEMASK, SS_LEFTNOWORDWRAP);
    form_->InfoLabel->SetWordWrap(true);
    EXPECT_EQ(Style(form_->InfoLabel) & SS_TYPEMASK, SS_LEFT);

    form_->Pages->SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(Handle(form_->Pages)));
    form_->OpenButton->SetBounds(520, 20, 120, 30);
    RECT r = PlaceOf(Handle(form_->OpenButton));
    EXPECT_EQ(r.left, 520);
    EXPECT_EQ(r.right - r.left, 120);

    form_->Progress->SetPosition(42);
    EXPECT_EQ(SendMessageA(Handle(form_->Progress), PBM_GETPOS, 0, 0), 42);
    form_->MixUpDown->SetPosition(77);
    EXPECT_EQ(SendMessageA(Handle(form_->MixUpDown), UDM_GETPOS32, 0, 0), 77);

    // Scroll bars are fixed at creation: the memo's window is made anew, lines and all.
    form_->NoteMemo->Lines().SetText("Send -> 'AT+QVCMD1=7'\nOK");
    form_->NoteMemo->SetScrollBars(ui::ssBoth);
    HWND memo = Handle(form_->NoteMemo);
    EXPECT_EQ(Style(form_->NoteMemo) & (WS_VSCROLL | WS_HSCROLL), WS_VSCROLL | WS_HSCROLL);
    EXPECT_EQ(TextOf(memo), "Send -> 'AT+QVCMD1=7'\r\nOK");
    EXPECT_EQ(PlaceOf(memo).left, form_->NoteMemo->Left());
}

TEST_F(Win32ControlsTest, UpDownWithoutAssociateSpansNegativePositions) {
    form_->Pages->SetActivePage(form_->MixSheet);
    form_->MixUpDown->SetAssociate(nullptr);
    form_->MixUpDown->SetMin(-1);
    form_->MixUpDown->SetMax(2);
    form_->MixUpDown->SetPosition(1);
    HWND upDown = Handle(form_->MixUpDown);
    EXPECT_EQ(SendMessageA(upDown, UDM_GETBUDDY, 0, 0), 0);
    int low = 0, high = 0;
    SendMessageA(upDown, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                 reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, -1);
    EXPECT_EQ(high, 2);

    std::vector<ui::TUDBtnType> clicks;
    form_->MixUpDown->OnClick = [&](ui::TObject*, ui::TUDBtnType button) {
        clicks.push_back(button);
    };
    const int down = 17;
    ClickAt(upDown, 8, down);
    ClickAt(upDown, 8, down);
    ClickAt(upDown, 8, down);  // stops at -1
    EXPECT_EQ(form_->MixUpDown->Position(), -1);
    EXPECT_EQ(SendMessageA(upDown, UDM_GETPOS32, 0, 0), -1);
    EXPECT_EQ(clicks, (std::vector<ui::TUDBtnType>{ui::btPrev, ui::btPrev}));
    EXPECT_EQ(TextOf(Handle(form_->MixEdit)), "20");  // no longer written
}

}  // namespace
}  // namespace qvtest
