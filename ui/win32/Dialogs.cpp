// Message boxes (MessageBoxA) and the file-open dialog (GetOpenFileNameA). Both are modal
// loops of their own that keep dispatching the thread's messages (timers, queued calls).
#include <windows.h>
// windows.h first.
#include <cderr.h>
#include <commdlg.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ui/win32/BackendImpl.h"
#include "ui/win32/Win32.h"

namespace ui {

std::string OpenDialogFilter(const std::string& filter) {
    if (filter.empty()) return std::string();
    std::string result;
    std::size_t parts = 0;
    std::size_t start = 0;
    for (;;) {
        std::size_t bar = filter.find('|', start);
        std::string part = filter.substr(start, bar == std::string::npos ? bar : bar - start);
        if (part.empty()) {
            throw std::invalid_argument("file filter \"" + filter + "\" has an empty part");
        }
        result += part;
        result += '\0';
        ++parts;
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    if (parts % 2 != 0) {
        throw std::invalid_argument("file filter \"" + filter +
                                    "\" has a description without a pattern");
    }
    result += '\0';
    return result;
}

}  // namespace ui

namespace ui::win32 {
namespace {

// Room for the chosen path (the dialog fails with FNERR_BUFFERTOOSMALL beyond it).
constexpr std::size_t kFileNameRoom = 4096;

}  // namespace

int TWin32Backend::MessageBox(TForm* owner, const std::string& text, const std::string& caption,
                              UINT flags) {
    return ::MessageBoxA(FormHandle(owner), text.c_str(), caption.c_str(), flags);
}

bool TWin32Backend::ExecuteOpenDialog(TForm* owner, TOpenDialog& dialog) {
    std::string filter = OpenDialogFilter(dialog.Filter());
    std::vector<char> file(kFileNameRoom, '\0');
    // A preset name that does not fit is not offered (the dialog would refuse to open).
    if (dialog.FileName().size() < file.size()) dialog.FileName().copy(file.data(), file.size());

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = FormHandle(owner);
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = dialog.InitialDir().empty() ? nullptr : dialog.InitialDir().c_str();
    ofn.lpstrTitle = dialog.Title().empty() ? nullptr : dialog.Title().c_str();
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;

    BOOL chosen = GetOpenFileNameA(&ofn);
    if (!chosen && CommDlgExtendedError() == FNERR_INVALIDFILENAME && file[0] != '\0') {
        // The preset name is not a valid file name (for example a stale stored path): open
        // the dialog without it rather than not at all.
        file.assign(file.size(), '\0');
        chosen = GetOpenFileNameA(&ofn);
    }
    if (!chosen) {
        DWORD error = CommDlgExtendedError();
        if (error != 0) {
            throw std::runtime_error("the file-open dialog failed (error " + std::to_string(error) +
                                     ")");
        }
        return false;  // cancelled
    }
    dialog.SetFileName(file.data());
    return true;
}

}  // namespace ui::win32
