#include "BoxAnswerer.h"

namespace qvtest {

TBoxAnswerer::TBoxAnswerer(std::string caption, int answer, std::function<void()> beforeAnswer) {
    thread_ = std::thread([this, caption, answer, beforeAnswer] {
        HWND box = nullptr;
        for (int i = 0; i < 500 && !box; ++i) {
            box = FindWindowA("#32770", caption.c_str());
            if (!box) Sleep(10);
        }
        if (!box) return;
        Found = true;
        char text[512] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message box's text control
        Text = text;
        // The default button is the one drawn as such (BS_DEFPUSHBUTTON).
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if ((GetWindowLongPtrA(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                DefaultButton = GetDlgCtrlID(child);
            }
        }
        Owner = GetWindow(box, GW_OWNER);
        if (beforeAnswer) beforeAnswer();
        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
    });
}

}  // namespace qvtest
