// Filling the name records the drivers return (USB_ROOT_HUB_NAME, USB_NODE_CONNECTION_NAME)
// for back ends that are not the Windows drivers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace upgrade {

// Writes `name` (plain 8-bit device names, widened to UTF-16) at `nameOffset` of the record
// as far as `size` allows, terminator included when it fits. As the Windows drivers do,
// `*actualLength` receives the size of the whole record with the terminated name and
// `*returned` the bytes that were filled.
inline void WriteNameRecord(const std::string& name, std::size_t nameOffset, void* buffer,
                            std::uint32_t size, std::uint32_t* actualLength,
                            std::uint32_t* returned) {
    const auto fullLength = static_cast<std::uint32_t>(nameOffset + 2 * (name.size() + 1));
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    for (std::size_t i = 0; i <= name.size(); ++i) {
        const std::size_t at = nameOffset + 2 * i;
        if (at + 2 > size) break;
        bytes[at] = i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0;
        bytes[at + 1] = 0;
    }
    *actualLength = fullLength;
    *returned = std::min(size, fullLength);
}

}  // namespace upgrade
