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

// Reads the stored firmware file name from "<settings folder>/<baseName>.INI" and puts that
// path into *iniFilePath. createFolder: make the settings folder when it is missing (the
// window, which writes the file at close); a reader that only looks leaves it alone. "" when
// the file, section or key is missing. When the application-data folder cannot be determined
// there is no settings file: the value and *iniFilePath are "".
std::string ReadStoredFirmwareFile(const std::string& baseName, bool createFolder,
                                   std::string* iniFilePath);

// The window's start-up read: the base name of the running program, the folder created.
std::string ReadStoredFirmwareFile(std::string* iniFilePath);

// Close-time write of the firmware file name ("" writes the key with an empty value). An
// empty iniFilePath (no settings file for this run) writes nothing. Throws
// ESettingsWriteError when the file cannot be written.
void WriteStoredFirmwareFile(const std::string& iniFilePath, const std::string& fileName);

// The pieces, exposed for tests.
// The settings folder inside the application-data folder.
std::string SettingsFolder(const std::string& appDataFolder);
// The base name of a program: its path cut at its last "." (anywhere in the path), then taken
// after the last separator.
std::string ProgramBaseName(const std::string& programPath);
// "<folder><sep><base name>.INI" with the base name of the program path.
std::string BuildIniFilePath(const std::string& folder, const std::string& programPath);

}  // namespace app
