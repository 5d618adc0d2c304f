// Reply lines, headset to tool: the acknowledgement "OK" and the "+QVSTS1=" status line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace device {

enum class LineKind {
    Acknowledgement,  // begins with "OK"
    Status,           // begins with "+QVSTS1="
    Other,            // empty lines, echoes, anything unsolicited
};

// Bytes kept of a text payload.
constexpr size_t kMaxReplyText = 255;

// A parsed status line. Numbers that do not fit in 32 bits saturate at INT32_MAX: a run of
// digits too long for the field then can never pose as a valid code or signature, which a
// value wrapped around 2^32 could (4294967303 would wrap to code 7).
struct StatusReply {
    int32_t Code = 0;    // 0 when the line has no digits there
    int32_t Value1 = 0;  // numeric payloads only
    int32_t Value2 = 0;
    std::string Text;  // free text or dial string, at most kMaxReplyText bytes
};

// The content of a received line: everything before the first carriage return or NUL byte
// (a terminating line feed has already been removed by whoever split the lines).
std::string_view LineContent(std::string_view line);

LineKind ClassifyLine(std::string_view line);

// Parses a status line. A line that is not a status line yields the empty reply (code 0,
// which matches no command). Text beyond kMaxReplyText bytes is dropped.
StatusReply ParseStatusLine(std::string_view line);

// The speed-dial characters: 0-9, '+', '*', '#'.
inline bool IsDialChar(char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '*' || c == '#';
}

}  // namespace device
