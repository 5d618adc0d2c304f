// Answers a message box from a helper thread, as a user would: waits for the box (a dialog of
// class "#32770" with the given caption), records what it shows and presses a button.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

namespace qvtest {

class TBoxAnswerer {
  public:
    // beforeAnswer runs on the helper thread with the box once it was found, before the answer.
    TBoxAnswerer(std::string caption, int answer,
                 std::function<void(HWND box)> beforeAnswer = nullptr);
    ~TBoxAnswerer() { Join(); }

    void Join() {
        if (thread_.joinable()) thread_.join();
    }

    // Valid after Join.
    bool Found = false;
    std::string Text;       // the message text
    int DefaultButton = 0;  // the button Enter would press
    HWND Owner = nullptr;

  private:
    std::thread thread_;
};

}  // namespace qvtest
