// The COM port's entry in a Wine prefix's registry (HKLM\Software\Wine\Ports), from which
// Wine makes the port a program can list and open. The entry the prefix had before is put
// back when the simulator ends, so that a user's own mapping of that name survives a run.
#pragma once

#include <string>

namespace headsetsim {

class WinePortMapping {
  public:
    ~WinePortMapping() { Restore(); }

    // Maps port to tty in the prefix through "wine reg". The first call remembers the entry
    // that was there. False with a message when wine could not do it.
    bool Map(const std::string& prefix, const std::string& port, const std::string& tty,
             std::string& error);
    // Puts the earlier entry back, or removes ours when there was none.
    void Restore();

  private:
    bool mapped_ = false;
    bool hadEntry_ = false;
    std::string previous_;
    std::string prefix_;
    std::string port_;
};

// The value of `port` in the output of "wine reg query <key> /v <port>"; false when it has
// none.
bool ParseRegQueryValue(const std::string& output, const std::string& port, std::string& value);

}  // namespace headsetsim
