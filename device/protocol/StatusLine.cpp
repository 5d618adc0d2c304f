#include "device/protocol/StatusLine.h"

#include <algorithm>
#include <limits>

#include "device/protocol/CommandCodes.h"

namespace device {
namespace {

constexpr std::string_view kAckPrefix = "OK";
constexpr std::string_view kStatusPrefix = "+QVSTS1=";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Reads the cursor through the line; running past the end reads as NUL, which stops every run.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}

    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

    void SkipSeparators() {
        while (IsBlank(Peek()) || Peek() == ',') ++pos_;
    }

    int32_t Number() {
        constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
        int32_t value = 0;
        while (IsDigit(Peek())) {
            const int32_t digit = Peek() - '0';
            value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
            ++pos_;
        }
        return value;
    }

    std::string DialRun() {
        const size_t start = pos_;
        while (IsDialChar(Peek())) ++pos_;
        return std::string(text_.substr(start, std::min(pos_ - start, kMaxReplyText)));
    }

    std::string Rest() const {
        return std::string(text_.substr(std::min(pos_, text_.size()), kMaxReplyText));
    }

  private:
    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace

std::string_view LineContent(std::string_view line) {
    const size_t end = line.find_first_of(std::string_view("\r\0", 2));
    return end == std::string_view::npos ? line : line.substr(0, end);
}

LineKind ClassifyLine(std::string_view line) {
    const std::string_view content = LineContent(line);
    if (StartsWith(content, kAckPrefix)) return LineKind::Acknowledgement;
    if (StartsWith(content, kStatusPrefix)) return LineKind::Status;
    return LineKind::Other;
}

StatusReply ParseStatusLine(std::string_view line) {
    StatusReply reply;
    const std::string_view content = LineContent(line);
    if (!StartsWith(content, kStatusPrefix)) return reply;

    Cursor cursor(content.substr(kStatusPrefix.size()));
    cursor.SkipSeparators();
    reply.Code = cursor.Number();
    cursor.SkipSeparators();
    switch (PayloadKindOf(reply.Code)) {
        case PayloadKind::FreeText:
            reply.Text = cursor.Rest();
            break;
        case PayloadKind::DialString:
            reply.Text = cursor.DialRun();
            break;
        case PayloadKind::TwoNumbers:
            reply.Value1 = cursor.Number();
            cursor.SkipSeparators();
            reply.Value2 = cursor.Number();
            break;
    }
    return reply;
}

}  // namespace device
