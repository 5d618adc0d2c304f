#include "ui/win32/WindowClasses.h"

#include <commctrl.h>

#include <mutex>
#include <stdexcept>
#include <string>

namespace ui::win32 {
namespace {

// The program's icon at the given system metric's size, or null when it has none.
HICON ProgramIcon(int widthMetric, int heightMetric) {
    return static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kProgramIconId), IMAGE_ICON,
                   GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                   LR_DEFAULTCOLOR | LR_SHARED));
}

void Register(const char* name, WNDPROC proc, HBRUSH background, bool withIcon = false) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    if (withIcon) {
        // Large for Alt+Tab and the task bar, small for the title bar.
        wc.hIcon = ProgramIcon(SM_CXICON, SM_CYICON);
        wc.hIconSm = ProgramIcon(SM_CXSMICON, SM_CYSMICON);
    }
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw std::runtime_error(std::string("cannot register window class ") + name + " (error " +
                                 std::to_string(GetLastError()) + ")");
    }
}

}  // namespace

void RegisterWindowClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        // comctl32 v6 when the program's manifest asks for it: tab, up-down, progress bar.
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES |
                                                 ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
        // Forms, pages and paint boxes share the button-face colour of dialogs.
        auto face = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        Register(kFormClass, FormWindowProc, face, true);
        Register(kPageClass, PageWindowProc, face);
        Register(kPaintBoxClass, PaintBoxWindowProc, face);
        Register(kUtilityClass, UtilityWindowProc, nullptr);
        Register(kApplicationClass, ApplicationWindowProc, nullptr, true);
    });
}

}  // namespace ui::win32
