// Runs qv-headset-sim as a child process and talks to it over its pty, the way the tool does.
#pragma once

#include <string>
#include <vector>

namespace headsetsim::test {

class SimProcess {
  public:
    ~SimProcess();
    // Starts the simulator and waits for its READY line (or the given start-up text). Output()
    // holds what it prints on both its standard output and its standard error.
    bool Start(const std::vector<std::string>& args, const std::string& upText = "READY\n");
    // Waits until the simulator's output contains text (after what was consumed before).
    bool WaitForOutput(const std::string& text, int timeoutMs = 3000);
    // SIGTERM, then the exit status (-1 when it had to be killed).
    int Stop();
    // The exit status once it ends by itself; -1 after the time-out.
    int WaitForExit(int timeoutMs = 3000);
    void Signal(int signal);

    const std::string& TtyPath() const { return ttyPath_; }
    const std::vector<std::string>& Links() const { return links_; }
    const std::string& Output() const { return output_; }

  private:
    bool ReadOutput(int timeoutMs);
    void ParseStartLines(size_t from);

    int pid_ = -1;
    int out_ = -1;
    std::string output_;
    size_t consumed_ = 0;
    bool ended_ = false;
    std::string ttyPath_;
    std::vector<std::string> links_;
};

class LineClient {
  public:
    ~LineClient();
    bool Open(const std::string& path);
    void Close();
    void Send(const std::string& bytes);
    // Collects bytes until `lineFeeds` line feeds have arrived or the time is up; records
    // each read as one chunk.
    std::string Receive(int lineFeeds, int timeoutMs = 2000);
    // Collects whatever arrives within the time.
    std::string ReceiveFor(int ms);
    // True when the line was hung up (read gives EIO or end of file) within the time.
    bool HungUp(int timeoutMs = 2000);

    std::vector<std::string> chunks;

  private:
    int fd_ = -1;
};

}  // namespace headsetsim::test
