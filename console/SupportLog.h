// The --log file: every request, reply and engine event with a timestamp, for support. It
// holds phone numbers and the headset's address, as the user guide says. Lines are written
// whole and flushed at once, from any thread, so a run that is cut off leaves a readable log.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace service {

class SupportLog {
  public:
    SupportLog() = default;
    ~SupportLog();
    SupportLog(const SupportLog&) = delete;
    SupportLog& operator=(const SupportLog&) = delete;

    // Appends to the file. False (with the system's reason) when it cannot be opened.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return file_ != nullptr; }

    // "2024-05-01 12:00:00.123 [source] text"; does nothing when no file is open.
    void Line(const std::string& source, const std::string& text);

  private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

// The timestamp of a log line, local time with milliseconds.
std::string LogTimestamp();

}  // namespace service
