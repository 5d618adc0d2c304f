// Text between qvdfu (8-bit: the system's code page on Windows, UTF-8 elsewhere) and the
// engine (wide), converted the way the bridge converts it.
#pragma once

#include <string>

namespace service {

std::wstring ToWide(const std::string& text);
std::string ToNarrow(const std::wstring& text);

}  // namespace service
