#include "console/JsonLine.h"

#include <cstdio>

namespace service {
namespace {

// The length of the well-formed UTF-8 sequence at text[i], or 0 when there is none.
size_t Utf8SequenceAt(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            if (const size_t n = Utf8SequenceAt(text, i)) {
                out.append(text, i, n);
                i += n;
                continue;
            }
            // Latin-1: U+0080 to U+00FF as two UTF-8 bytes.
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}

void JsonLine::Name(const std::string& name) {
    if (body_.size() > 1) body_ += ',';
    body_ += JsonString(name) + ':';
}

JsonLine& JsonLine::Text(const std::string& name, const std::string& value) {
    Name(name);
    body_ += JsonString(value);
    return *this;
}

JsonLine& JsonLine::Number(const std::string& name, std::int64_t value) {
    Name(name);
    body_ += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::Flag(const std::string& name, bool value) {
    Name(name);
    body_ += value ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::TextList(const std::string& name, const std::vector<std::string>& values) {
    Name(name);
    body_ += '[';
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) body_ += ',';
        body_ += JsonString(values[i]);
    }
    body_ += ']';
    return *this;
}

}  // namespace service
