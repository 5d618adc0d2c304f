// One JSON object on one line, built member by member: the --json output of qvdfu.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace service {

class JsonLine {
  public:
    explicit JsonLine(const std::string& event) { Text("event", event); }

    JsonLine& Text(const std::string& name, const std::string& value);
    JsonLine& Number(const std::string& name, std::int64_t value);
    JsonLine& Flag(const std::string& name, bool value);
    JsonLine& TextList(const std::string& name, const std::vector<std::string>& values);

    // The object, without a line break.
    std::string str() const { return body_ + "}"; }

  private:
    void Name(const std::string& name);
    std::string body_ = "{";
};

// A JSON string literal of text, quotes included. Text from the headset is bytes of the
// system's code page: well-formed UTF-8 passes unchanged, every other byte at or above 0x80
// is written as the Latin-1 character of that value, so the output is always valid JSON.
std::string JsonString(const std::string& text);

}  // namespace service
