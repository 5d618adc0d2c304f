// Request lines as the headset receives them: "AT+QVCMD1=<code>[,<argument>...]".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace headsetsim {

struct Request {
    bool Valid = false;  // the prefix and a decimal code were present
    int32_t Code = 0;
    std::vector<std::string> Arguments;  // the comma-separated rest, unchanged
};

// The line without its terminator.
Request ParseRequestLine(const std::string& line);

// Splits received bytes into request lines: a carriage return or a line feed ends a line,
// empty lines and lines longer than kMaxRequestLength are dropped. Bytes of an unfinished line
// are kept for the next Feed.
class LineSplitter {
  public:
    static constexpr size_t kMaxRequestLength = 4096;

    std::vector<std::string> Feed(const char* data, size_t size);

  private:
    std::string pending_;
    bool overflow_ = false;
};

}  // namespace headsetsim
