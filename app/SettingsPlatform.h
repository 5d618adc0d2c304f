// Internal: the platform operations behind the settings file (one half per platform).
#pragma once

#include <string>

namespace app {
namespace settings_platform {

// The path separator of the platform's file names.
char PathSeparator();
// The user's roaming application-data folder ("" when unknown).
std::string AppDataFolder();
// Creates a folder; an existing folder or any failure is ignored.
void CreateFolder(const std::string& path);
// The full path of the running program file.
std::string ProgramPath();
// One string value of a profile file, "" when missing; values come back up to 2047 bytes.
std::string ReadProfileValue(const std::string& path, const std::string& section,
                             const std::string& key);
// Writes one string value, creating the file and section when missing. False on failure.
bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value);

}  // namespace settings_platform
}  // namespace app
