// A form with one control of each kind, laid out like the tool's main window, and a fixture
// that runs it on the Win32 back end.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BoxAnswerer.h"
#include "ui/Application.h"
#include "ui/Backend.h"
#include "ui/win32/Win32.h"

namespace qvtest {

class TTestForm : public ui::TForm {
  public:
    TTestForm();

    ui::TLabel* PortLabel;
    ui::TListBox* PortList;
    ui::TButton* OpenButton;
    ui::TPageControl* Pages;
    ui::TTabSheet* DialSheet;
    ui::TTabSheet* MixSheet;
    ui::TLabeledEdit* DialEdit;
    ui::TMemo* NoteMemo;
    ui::TLabeledEdit* MixEdit;
    ui::TUpDown* MixUpDown;
    ui::TUpDown* SharingUpDown;  // without an associate
    ui::TProgressBar* Progress;
    ui::TPaintBox* PaintBox;
    ui::TLabel* InfoLabel;  // over the paint box
    ui::TTimer* Timer;

    std::vector<ui::TMessage> DeviceChanges;  // WM_DEVICECHANGE seen by WndProc

  protected:
    void WndProc(ui::TMessage& message) override;
};

class Win32Test : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Dispatches messages until done() or timeoutMs passed; returns done().
    template <class Done>
    bool PumpUntil(Done done, unsigned timeoutMs = 3000) {
        DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > timeoutMs) return false;
            ui::Application->ProcessMessages();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        return true;
    }

    static HWND Handle(const ui::TControl* control) { return ui::PeerHandle(*control); }
    static LONG_PTR Style(const ui::TControl* control) {
        return GetWindowLongPtrA(Handle(control), GWL_STYLE);
    }
    // A left click at (x, y) of the control's client area, as the mouse gives it.
    static void ClickAt(HWND hwnd, int x, int y);

    TTestForm* form_ = nullptr;
};

}  // namespace qvtest
