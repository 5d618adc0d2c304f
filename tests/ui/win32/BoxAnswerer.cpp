#include "BoxAnswerer.h"

namespace qvtest {
namespace {

struct Search {
    const std::string* caption;
    HWND found;
};

// A message box of this process only: other programs may show boxes with the same caption.
BOOL CALLBACK MatchBox(HWND hwnd, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    char name[16] = "";
    char caption[256] = "";
    GetClassNameA(hwnd, name, sizeof name);
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (process == GetCurrentProcessId() && std::string(name) == "#32770" &&
        *search->caption == caption && IsWindowVisible(hwnd)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindBox(const std::string& caption) {
    Search search{&caption, nullptr};
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

TBoxAnswerer::TBoxAnswerer(std::string caption, int answer,
                           std::function<void(HWND box)> beforeAnswer) {
    thread_ = std::thread([this, caption, answer, beforeAnswer] {
        HWND box = nullptr;
        for (int i = 0; i < 500 && !box; ++i) {
            box = FindBox(caption);
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
        if (beforeAnswer) beforeAnswer(box);
        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
    });
}

}  // namespace qvtest
