// The headset's end of a pty, for driving the main window's conversation byte by byte while
// the test pumps the window's messages.
#pragma once

#include <functional>
#include <string>

class HeadsetPeer {
  public:
    HeadsetPeer();
    ~HeadsetPeer();

    const std::string& DevicePath() const { return devicePath_; }

    // The next request the tool wrote, without its carriage return. Pumps the window while it
    // waits; "" after the time limit.
    std::string NextRequest();
    // Whether the tool has written anything that was not yet taken by NextRequest.
    bool HasPendingBytes();
    void Send(const std::string& bytes);
    // Closes the headset's end, as when the cable is pulled.
    void HangUp();

  private:
    void ReadAvailable();
    int master_ = -1;
    int slave_ = -1;  // kept open so that the line stays up between the tool's opens
    std::string devicePath_;
    std::string received_;
};

// Pumps the window's messages until done() holds or about three seconds passed.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000);
