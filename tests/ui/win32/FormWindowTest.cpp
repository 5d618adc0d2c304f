// The form's window: frame, client size, place, font, closing and device notifications.
#include <cstring>

#include "TestForm.h"

namespace qvtest {
namespace {

LOGFONTA FontOf(HWND hwnd) {
    LOGFONTA lf{};
    auto font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    EXPECT_NE(font, nullptr);
    if (font) GetObjectA(font, sizeof lf, &lf);
    return lf;
}

using Win32FormWindowTest = Win32Test;

TEST_F(Win32FormWindowTest, FixedDialogFrameWithCentredClientArea) {
    HWND hwnd = Handle(form_);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    char text[64] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    EXPECT_STREQ(text, "Win32 back end test");

    LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_NE(GetWindowLongPtrA(hwnd, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, 0);

    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 883);
    EXPECT_EQ(client.bottom, 544);

    RECT window;
    GetWindowRect(hwnd, &window);
    EXPECT_NEAR((window.left + window.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
    EXPECT_NEAR((window.top + window.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
}

TEST_F(Win32FormWindowTest, EveryControlUsesTheFormFontAndFollowsItsChange) {
    const ui::TControl* controls[] = {form_->PortLabel, form_->OpenButton,
                                      form_->DialEdit,  &form_->DialEdit->EditLabel(),
                                      form_->NoteMemo,  form_->Pages};
    for (const ui::TControl* control : controls) {
        LOGFONTA lf = FontOf(Handle(control));
        EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif") << control->Name();
        EXPECT_EQ(lf.lfHeight, -11);
        EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);
    }
    int narrow = form_->PortLabel->TextWidth("Select COM Port");

    ui::TFont big5;
    big5.SetSize(10);
    big5.Charset = CHINESEBIG5_CHARSET;
    form_->SetFont(big5);
    for (const ui::TControl* control : controls) {
        LOGFONTA lf = FontOf(Handle(control));
        EXPECT_EQ(lf.lfHeight, -13) << control->Name();
        EXPECT_EQ(lf.lfCharSet, CHINESEBIG5_CHARSET);
    }
    EXPECT_GT(form_->PortLabel->TextWidth("Select COM Port"), narrow);
}

TEST_F(Win32FormWindowTest, TextIsMeasuredInTheLabelsFont) {
    const std::string text = "C:\\firmware\\KX-V5_v1.2.dfu";
    HDC dc = GetDC(Handle(form_->PortLabel));
    HGDIOBJ old = SelectObject(
        dc, reinterpret_cast<HFONT>(SendMessageA(Handle(form_->PortLabel), WM_GETFONT, 0, 0)));
    SIZE expected{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &expected);
    SelectObject(dc, old);
    ReleaseDC(Handle(form_->PortLabel), dc);

    ui::TSize size = form_->PortLabel->TextExtent(text);
    EXPECT_GT(size.cx, 0);
    EXPECT_EQ(size.cx, expected.cx);
    EXPECT_EQ(size.cy, expected.cy);
}

TEST_F(Win32FormWindowTest, CloseBoxAsksTheFormAndARefusalKeepsTheWindow) {
    bool allow = false;
    int closes = 0;
    form_->OnCloseQuery = [&](ui::TObject*, bool& canClose) { canClose = allow; };
    form_->OnClose = [&](ui::TObject*, ui::TCloseAction&) { ++closes; };

    SendMessageA(Handle(form_), WM_CLOSE, 0, 0);
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(IsWindowVisible(Handle(form_)));

    allow = true;
    SendMessageA(Handle(form_), WM_CLOSE, 0, 0);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(ui::Application->Terminated());  // the main form closed
}

// The task-bar button shows the application title, not the form's caption: it belongs to the
// application window, which owns the form and passes the user's actions on to it.
TEST_F(Win32FormWindowTest, TaskBarButtonShowsTheApplicationTitle) {
    ui::Application->SetTitle("KX-V5 Tool Program");
    HWND form = Handle(form_);
    HWND owner = GetWindow(form, GW_OWNER);
    ASSERT_NE(owner, nullptr);
    char text[64] = "";
    GetWindowTextA(owner, text, sizeof text);
    EXPECT_STREQ(text, "KX-V5 Tool Program");
    EXPECT_EQ(GetWindow(owner, GW_OWNER), nullptr);
    EXPECT_TRUE(IsWindowVisible(owner));
    EXPECT_EQ(GetWindowLongPtrA(owner, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_EQ(GetWindowLongPtrA(form, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    RECT r;
    GetWindowRect(owner, &r);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);

    // Activating the button's window activates the form.
    SetActiveWindow(owner);
    EXPECT_TRUE(PumpUntil([&] { return GetActiveWindow() == form; }));

    // The task bar's "Close window" goes through the form's close rules.
    bool allow = false;
    int queries = 0;
    form_->OnCloseQuery = [&](ui::TObject*, bool& canClose) {
        ++queries;
        canClose = allow;
    };
    SendMessageA(owner, WM_CLOSE, 0, 0);
    EXPECT_EQ(queries, 1);
    EXPECT_TRUE(IsWindow(owner));
    EXPECT_TRUE(IsWindowVisible(form));
    // Not while the form is disabled by a modal box of its own.
    allow = true;
    EnableWindow(form, FALSE);
    SendMessageA(owner, WM_CLOSE, 0, 0);
    EnableWindow(form, TRUE);
    EXPECT_EQ(queries, 1);
    SendMessageA(owner, WM_CLOSE, 0, 0);
    EXPECT_EQ(queries, 2);
    EXPECT_TRUE(ui::Application->Terminated());
    EXPECT_FALSE(IsWindowVisible(owner));
}

// A program with an icon (resource 1) shows it in the form's title bar and on the task-bar
// button, which belongs to the application window.
TEST_F(Win32FormWindowTest, ProgramIconIsOnTheFormAndTheTaskBarButton) {
    HWND form = Handle(form_);
    HWND owner = GetWindow(form, GW_OWNER);
    ASSERT_NE(owner, nullptr);
    auto icon = [](int width, int height) {
        return reinterpret_cast<LONG_PTR>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1),
                                                     IMAGE_ICON, GetSystemMetrics(width),
                                                     GetSystemMetrics(height), LR_SHARED));
    };
    LONG_PTR large = icon(SM_CXICON, SM_CYICON), small = icon(SM_CXSMICON, SM_CYSMICON);
    ASSERT_NE(large, 0);
    ASSERT_NE(small, 0);
    for (HWND hwnd : {form, owner}) {
        EXPECT_EQ(static_cast<LONG_PTR>(GetClassLongPtrA(hwnd, GCLP_HICON)), large);
        EXPECT_EQ(static_cast<LONG_PTR>(GetClassLongPtrA(hwnd, GCLP_HICONSM)), small);
    }
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(small), &info));
    BITMAP bitmap{};
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(SM_CXSMICON));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

// Ending the session asks the form's close rules and closes nothing.
TEST_F(Win32FormWindowTest, SessionEndIsRefusedWhenTheFormRefusesToClose) {
    bool allow = false;
    int closes = 0;
    form_->OnCloseQuery = [&](ui::TObject*, bool& canClose) { canClose = allow; };
    form_->OnClose = [&](ui::TObject*, ui::TCloseAction&) { ++closes; };
    EXPECT_EQ(SendMessageA(Handle(form_), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
    allow = true;
    EXPECT_NE(SendMessageA(Handle(form_), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(IsWindowVisible(Handle(form_)));
    EXPECT_FALSE(ui::Application->Terminated());
}

TEST_F(Win32FormWindowTest, DeviceChangesReachTheFormsMessageDispatch) {
    EXPECT_NE(form_->RegisterDeviceInterfaceNotification(ui::kGuidDevInterfaceUsbDevice), nullptr);
    SendMessageA(Handle(form_), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    SendMessageA(Handle(form_), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
    ASSERT_EQ(form_->DeviceChanges.size(), 2u);
    EXPECT_EQ(form_->DeviceChanges[0].WParam, WPARAM{DBT_DEVICEARRIVAL});
    EXPECT_EQ(form_->DeviceChanges[1].WParam, WPARAM{DBT_DEVICEREMOVECOMPLETE});
}

}  // namespace
}  // namespace qvtest
