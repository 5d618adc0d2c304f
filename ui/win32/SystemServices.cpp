// Cursor, keyboard state, tick count, sleep and text measuring: thin calls of the platform.
#include "ui/win32/BackendImpl.h"

namespace ui::win32 {

HCURSOR TWin32Backend::LoadSystemCursor(LPCSTR id) {
    return LoadCursorA(nullptr, id);
}

HCURSOR TWin32Backend::SetCurrentCursor(HCURSOR cursor) {
    return SetCursor(cursor);
}

bool TWin32Backend::ReadKeyboardState(BYTE (&state)[256]) {
    if (GetKeyboardState(state)) return true;
    for (BYTE& key : state) key = 0;
    return false;
}

DWORD TWin32Backend::TickCount() {
    return GetTickCount();
}

void TWin32Backend::SleepMs(DWORD ms) {
    Sleep(ms);
}

TSize TWin32Backend::MeasureText(const TFont& font, const std::string& text) {
    HGDIOBJ old = SelectObject(measureDc_, FontHandle(font));
    SIZE size{0, 0};
    GetTextExtentPoint32A(measureDc_, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(measureDc_, old);
    return TSize{static_cast<int>(size.cx), static_cast<int>(size.cy)};
}

}  // namespace ui::win32
