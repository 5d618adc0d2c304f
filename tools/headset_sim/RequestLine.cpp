#include "RequestLine.h"

#include <algorithm>
#include <cstdint>

namespace headsetsim {

Request ParseRequestLine(const std::string& line) {
    static const std::string kPrefix = "AT+QVCMD1=";
    Request request;
    if (line.compare(0, kPrefix.size(), kPrefix) != 0) return request;
    size_t pos = kPrefix.size();
    if (pos >= line.size() || line[pos] < '0' || line[pos] > '9') return request;
    int64_t code = 0;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
        code = std::min<int64_t>(code * 10 + (line[pos] - '0'), INT32_MAX);
        ++pos;
    }
    if (pos < line.size() && line[pos] != ',') return request;  // "AT+QVCMD1=8x"
    request.Code = static_cast<int32_t>(code);
    while (pos < line.size()) {  // at a comma
        const size_t next = line.find(',', pos + 1);
        request.Arguments.push_back(
            line.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1));
        pos = next == std::string::npos ? line.size() : next;
    }
    request.Valid = true;
    return request;
}

std::vector<std::string> LineSplitter::Feed(const char* data, size_t size) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            if (!pending_.empty() && !overflow_) lines.push_back(pending_);
            pending_.clear();
            overflow_ = false;
        } else if (pending_.size() < kMaxRequestLength) {
            pending_ += c;
        } else {
            // A runaway line is dropped whole: its cut front could read as a valid request.
            overflow_ = true;
        }
    }
    return lines;
}

}  // namespace headsetsim
