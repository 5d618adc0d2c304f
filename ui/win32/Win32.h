// Public helpers of the Win32 back end (library qv_ui_win32) beyond ui/Backend.h.
//
// CreateWin32Backend() itself is declared in ui/Backend.h.
#pragma once

#include <string>

#include "ui/Controls.h"

namespace ui {

// The native window of a control made by the Win32 back end; null while the control has no
// peer. Only meaningful while the Win32 back end is the active one.
HWND PeerHandle(const TControl& control);

// How many times the Win32 peer of memo has written its native control's text (the whole text
// or the lines added in one turn of the window thread) since the peer was made; 0 without a
// peer. For tests and measurements of how often the control is updated.
unsigned long MemoTextUpdates(const TMemo& memo);

// Converts a file dialog filter "description|pattern|description|pattern..." into the form
// OPENFILENAMEA wants: each part followed by a NUL, the whole ended by a second NUL. An empty
// filter gives an empty string (the dialog then lists every file). Throws
// std::invalid_argument when a description has no pattern or a part is empty.
std::string OpenDialogFilter(const std::string& filter);

}  // namespace ui
