// Factories of the Win32 peers, one per control kind (each defined in its own file).
#pragma once

#include <memory>

#include "ui/Forms.h"
#include "ui/win32/Peer.h"

namespace ui::win32 {

// owner: the application window (every form is owned by it).
std::unique_ptr<TPeer> CreateFormPeer(TForm& form, HWND owner);
std::unique_ptr<TPeer> CreateLabelPeer(TLabel& label);
std::unique_ptr<TPeer> CreateListBoxPeer(TListBox& listBox);
std::unique_ptr<TPeer> CreateButtonPeer(TButton& button);
std::unique_ptr<TPeer> CreatePageControlPeer(TPageControl& pageControl);
std::unique_ptr<TPeer> CreateTabSheetPeer(TTabSheet& sheet);
std::unique_ptr<TPeer> CreateEditPeer(TEdit& edit);
std::unique_ptr<TPeer> CreateUpDownPeer(TUpDown& upDown);
std::unique_ptr<TPeer> CreateMemoPeer(TMemo& memo);
std::unique_ptr<TPeer> CreateProgressBarPeer(TProgressBar& progressBar);
std::unique_ptr<TPeer> CreatePaintBoxPeer(TPaintBox& paintBox);

}  // namespace ui::win32
