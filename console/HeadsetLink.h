// The conversation with one headset over its serial port: one request at a time, the reply
// accepted only as the status line of its own code after its "OK", within one second.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "console/HeadsetValues.h"
#include "device/protocol/Request.h"
#include "device/protocol/StatusLine.h"

class TComPort;

namespace service {

class SupportLog;

class HeadsetLink {
  public:
    HeadsetLink(std::string port, SupportLog* log);
    ~HeadsetLink();
    HeadsetLink(const HeadsetLink&) = delete;
    HeadsetLink& operator=(const HeadsetLink&) = delete;

    enum class OpenResult { Opened, NotFound, Busy, Failed };
    // 115200 baud, 8 data bits, no parity, one stop bit. reason: the system's words.
    OpenResult Open(std::string& reason);
    void Close();
    const std::string& Port() const { return port_; }

    enum class Answer {
        Answered,
        NoAnswer,     // no accepted reply within the time-out
        LineLost,     // the port failed (the headset went away)
        Interrupted,  // Ctrl+C
    };
    Answer Request(int32_t code, const device::RequestValues& values, device::StatusReply& reply);
    // Codes 7, 8, 9, 10: the identity check, version, name, address.
    Answer ReadIdentity(HeadsetIdentity& identity);
    // Codes 1 to 5: speed dials, A2DP share, GPS share and voice sharing.
    Answer ReadSettings(HeadsetSettings& settings);

    static constexpr int kReplyTimeoutMs = 1000;

  private:
    // The next line received before the deadline, without its terminator.
    Answer NextLine(std::string& line, long long deadlineMs);

    std::string port_;
    SupportLog* log_;
    std::unique_ptr<TComPort> com_;
    std::string received_;     // bytes not yet split into lines
    bool discarding_ = false;  // dropping the rest of an overlong line
};

const char* AnswerWord(HeadsetLink::Answer answer);

}  // namespace service
