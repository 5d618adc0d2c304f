// Reading and editing the text of a profile (INI) file, the way the Windows profile API does:
// section and key names match without regard to case, the first match wins, every other
// line stays as it is, a value is replaced in place, and a missing section or key is added.
#pragma once

#include <string>

namespace app {

// The value of key in section, trimmed of blanks and of one pair of enclosing quotes.
// Returns false (and leaves value alone) when the section or the key is missing.
bool IniGetValue(const std::string& content, const std::string& section, const std::string& key,
                 std::string* value);

// The content with key in section set to value. New lines use the file's line ending.
std::string IniSetValue(const std::string& content, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace app
