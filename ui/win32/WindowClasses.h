// The window classes of the back end's own windows and the property that ties a native
// window to its peer.
#pragma once

#include <windows.h>

namespace ui::win32 {

// Top-level form windows.
inline constexpr const char* kFormClass = "QvForm";
// Tab sheets: child windows of a tab control that hold the page's controls.
inline constexpr const char* kPageClass = "QvPage";
// Paint boxes: an area that paints only the background and reports clicks.
inline constexpr const char* kPaintBoxClass = "QvPaintBox";
// The back end's hidden message-only window: timers and wake-ups of the message loop.
inline constexpr const char* kUtilityClass = "QvUtility";
// The application window: owner of every form, and the one window with a task-bar button,
// which therefore shows the application title rather than a form's caption.
inline constexpr const char* kApplicationClass = "QvApplication";

// The program's icon: an icon group with this resource ID in the program file (the first
// group, which Explorer also shows for the file). Forms and the application window, whose
// task-bar button shows it, carry it when the program has one.
inline constexpr int kProgramIconId = 1;

// Window property holding the TWin32Peer* of a native window.
inline constexpr const char* kPeerProperty = "QvPeer";

// Registers the classes above and the common controls (once per process).
void RegisterWindowClasses();

// Window procedures of the classes (defined with their peers).
LRESULT CALLBACK FormWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PageWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PaintBoxWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK UtilityWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ApplicationWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace ui::win32
