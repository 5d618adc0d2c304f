// A pseudo-terminal pair standing in for a serial line: the port under test opens the
// slave side through a COM link, the test plays the device on the master side.
#pragma once

#include <termios.h>

#include <chrono>
#include <string>

namespace serialtest {

class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // Sends bytes to the port (as the device would).
    void Send(const std::string& bytes);
    // Collects what the port sent until count bytes have come or the time is up.
    std::string Receive(std::size_t count,
                        std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Waits until bytes sent to the port have reached its tty's input buffer.
    bool WaitUntilSlaveReadable(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // The slave tty's current line settings.
    termios SlaveSettings() const;
    // Closes the device side: the line hangs up.
    void HangUp();

  private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the pair lives as long as the test
    std::string slavePath_;
};

// A private folder of COM links (QV_COM_DIR) for the duration of a test.
class ComLinks {
  public:
    ComLinks();
    ~ComLinks();
    ComLinks(const ComLinks&) = delete;
    ComLinks& operator=(const ComLinks&) = delete;
    // Makes "COMn" name target.
    void Link(const std::string& comName, const std::string& target);

  private:
    std::string folder_;
};

}  // namespace serialtest
