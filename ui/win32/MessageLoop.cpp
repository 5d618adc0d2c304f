// The message loop of the window thread. Keyboard messages for a form go through
// IsDialogMessageA first, so that Tab and the arrow keys move between controls in tab order.
// Calls queued by other threads (TWindowThread) wake the loop with a message to the utility
// window, whose procedure runs them: that also works while a modal loop (a message box, the
// file dialog) is dispatching instead of ours.
#include "ui/WindowThread.h"
#include "ui/win32/BackendImpl.h"
#include "ui/win32/WindowClasses.h"

namespace ui::win32 {
namespace {

// Most messages handled by one DispatchPending call, so that a timer that is always due
// cannot keep the loop from ever returning.
constexpr int kDispatchLimit = 512;

bool IsFormWindow(HWND hwnd) {
    char name[16];
    return GetClassNameA(hwnd, name, sizeof name) > 0 && lstrcmpA(name, kFormClass) == 0;
}

bool DialogNavigation(MSG& msg) {
    if (!msg.hwnd || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    return root && IsFormWindow(root) && IsDialogMessageA(root, &msg);
}

}  // namespace

void TWin32Backend::DispatchPending() {
    MSG msg;
    for (int handled = 0; handled < kDispatchLimit; ++handled) {
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return;
        if (msg.message == WM_QUIT) continue;  // the framework ends the loop, not WM_QUIT
        if (DialogNavigation(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void TWin32Backend::WaitForMessage() {
    // MWMO_INPUTAVAILABLE: also return for messages that are waiting but were already seen.
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void TWin32Backend::Wake() {
    PostMessageA(utility_, kWakeMessage, 0, 0);
}

LRESULT CALLBACK UtilityWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* backend = reinterpret_cast<TWin32Backend*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (backend) {
        if (msg == kWakeMessage) {
            TWindowThread::RunPending();
            return 0;
        }
        if (msg == WM_TIMER) {
            backend->TimerMessage(wParam);
            return 0;
        }
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace ui::win32
