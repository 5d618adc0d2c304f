// The settings file: remembers the firmware file chosen last, between runs.
//
// A per-user profile file "<program base name>.INI" in the folder "QVBFU" of the user's
// roaming application-data folder (on Linux: $XDG_CONFIG_HOME, else ~/.config), section
// "Setting", key "DFU_FileName".
#pragma once

#include <stdexcept>
#include <string>

namespace app {

// The close-time write failed; the message names the file.
class ESettingsWriteError : public std::runtime_error {
  public:
    explicit ESettingsWriteError(const std::string& path);
};

// Start-up read: creates the settings folder when needed, builds the settings file path into
// *iniFilePath and returns the stored firmware file name ("" when the file, section or key is
// missing). When the application-data folder is unknown the run keeps no settings file:
// *iniFilePath becomes "" and so does the value.
std::string ReadStoredFirmwareFile(std::string* iniFilePath);

// Close-time write of the firmware file name ("" writes the key with an empty value).
// Throws ESettingsWriteError when the file cannot be written. With no settings file (an
// empty iniFilePath) nothing is written.
void WriteStoredFirmwareFile(const std::string& iniFilePath, const std::string& fileName);

// The pieces, exposed for tests.
// The settings folder inside the application-data folder.
std::string SettingsFolder(const std::string& appDataFolder);
// "<folder><sep><base name>.INI": the base name is the program path cut at its last "."
// (anywhere in the path), then taken after the last separator.
std::string BuildIniFilePath(const std::string& folder, const std::string& programPath);

}  // namespace app
