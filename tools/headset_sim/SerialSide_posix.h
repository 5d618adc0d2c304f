// The headset's end of the serial line: the master of a new pty pair, whose slave the tool
// opens, or a tty given by the user (a real serial adapter, one end of a socat pair).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace headsetsim {

class SerialSide {
  public:
    SerialSide() = default;
    ~SerialSide() { Close(); }
    SerialSide(const SerialSide&) = delete;
    SerialSide& operator=(const SerialSide&) = delete;

    // An empty tty opens a new pty pair. False with a message on failure.
    bool Open(const std::string& tty, std::string& error);
    // Closes the line; for a pty this hangs it up for the tool.
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // The path the tool opens: the pty's slave, or the given tty.
    const std::string& ToolPath() const { return toolPath_; }

    // Writes all bytes, waiting while the line's buffers are full (nobody reads them); gives
    // up, false, when stop() turns true meanwhile (a signal to end).
    bool WriteAll(const std::string& bytes, const std::function<bool()>& stop);

  private:
    int fd_ = -1;
    int slaveHold_ = -1;  // keeps the pty alive while the tool has it closed
    std::string toolPath_;
};

// Links "comN" -> the tool's path in the given folders, removed again on Remove() or
// destruction (only while they still point at that path). A link that was there before (the
// user's own port, another simulator's) is put back then; only a link into a pty that no
// longer exists, left by a run that was killed, is dropped. Anything else by that name (a
// file, a folder) is left alone and Add fails.
class ComLinks {
  public:
    ~ComLinks() { Remove(); }
    bool Add(const std::string& folder, const std::string& portName, const std::string& target,
             std::string& error);
    void Remove();
    const std::string& LastPath() const { return lastPath_; }

  private:
    struct Link {
        std::string path;
        std::string target;
        std::string previous;  // the earlier link's target to put back; empty for none
    };
    std::vector<Link> links_;
    std::string lastPath_;
};

}  // namespace headsetsim
