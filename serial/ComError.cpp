#include "serial/ComError.h"

#include <cctype>

#include "serial/CommApi.h"

using namespace commapi;

const char* const sErrClosedPort = "Can't perform this operation on a closed port";
const char* const sErrOpenPort = "Can't perform this operation on an open port";
const char* const sErrCreateThread = "Can't create thread";
const char* const sErrTimeout = "Timeout";

std::string SystemErrorText(unsigned long code) {
    char buffer[256] = {};
    commapi::DWORD length = commapi::FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<commapi::DWORD>(code), 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length < sizeof buffer ? length : 0);
    while (!text.empty()) {
        unsigned char last = static_cast<unsigned char>(text.back());
        if (last > ' ' && last != '.') break;
        text.pop_back();
    }
    return text;
}
