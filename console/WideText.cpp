#include "console/WideText.h"

#include <vector>

#include "bridge/StringConvert.h"

namespace service {

std::wstring ToWide(const std::string& text) {
    // A byte never becomes more than one wide character.
    std::vector<wchar_t> wide(text.size() + 1);
    if (!bridge::WidenText(text.c_str(), wide.data(), wide.size())) return std::wstring();
    return std::wstring(wide.data());
}

std::string ToNarrow(const std::wstring& text) {
    const size_t bytes = bridge::NarrowLength(text.data(), text.size());
    std::string narrow(bytes, '\0');
    bridge::NarrowText(text.data(), text.size(), narrow.data(), bytes);
    return narrow;
}

}  // namespace service
