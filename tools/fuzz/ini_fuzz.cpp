// libFuzzer target for the profile (INI) text of the settings file, which a crash or another
// program may have left half-written or garbled: reading and setting a value must never fault,
// the value set must be the value read back, setting it again changes nothing, and other
// values stay as they were.
//
// Input: one byte for the value's length, that many bytes of value, then the file's text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/IniText.h"

namespace {

const char kSection[] = "Setting";
const char kKey[] = "DFU_FileName";

// A value as the program stores one: a path on one line, no blank at either end, not in quotes.
std::string ValueFrom(const std::uint8_t* data, std::size_t size) {
    std::string value(reinterpret_cast<const char*>(data), size);
    for (char& c : value) {
        if (c == '\r' || c == '\n') c = '_';
    }
    if (!value.empty()) {
        for (char* end : {&value.front(), &value.back()}) {
            if (*end == ' ' || *end == '\t' || *end == '"' || *end == '\'') *end = '_';
        }
    }
    return value;
}

std::string Get(const std::string& content, const char* section, const char* key) {
    std::string value = "(none)";
    app::IniGetValue(content, section, key, &value);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t valueLength = std::min<std::size_t>(data[0], size - 1);
    const std::string value = ValueFrom(data + 1, valueLength);
    const std::string content(reinterpret_cast<const char*>(data + 1 + valueLength),
                              size - 1 - valueLength);

    const std::string otherKeyBefore = Get(content, kSection, "Other");
    const std::string otherSectionBefore = Get(content, "Other", kKey);

    const std::string updated = app::IniSetValue(content, kSection, kKey, value);
    if (Get(updated, kSection, kKey) != value) std::abort();
    if (app::IniSetValue(updated, kSection, kKey, value) != updated) std::abort();
    if (Get(updated, kSection, "Other") != otherKeyBefore) std::abort();
    if (Get(updated, "Other", kKey) != otherSectionBefore) std::abort();
    return 0;
}
