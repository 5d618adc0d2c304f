// The error the serial port raises for every failure.
#pragma once

#include <exception>
#include <string>

class EComError : public std::exception {
  public:
    // code: 0 for the port's own errors, otherwise the operating-system error code.
    EComError(std::string message, int code) : message_(std::move(message)), code_(code) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const { return message_; }
    int ErrorCode() const { return code_; }

  private:
    std::string message_;
    int code_;
};

// The port's own messages.
extern const char* const sErrClosedPort;    // "Can't perform this operation on a closed port"
extern const char* const sErrOpenPort;      // "Can't perform this operation on an open port"
extern const char* const sErrCreateThread;  // "Can't create thread"
extern const char* const sErrTimeout;       // "Timeout"

// The system's message text for an error code, without the trailing line break and period.
std::string SystemErrorText(unsigned long code);
