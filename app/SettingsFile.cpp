#include "app/SettingsFile.h"

#include "app/SettingsPlatform.h"

namespace app {
namespace {

const char kSection[] = "Setting";
const char kKey[] = "DFU_FileName";

}  // namespace

ESettingsWriteError::ESettingsWriteError(const std::string& path)
    : std::runtime_error("Unable to write to " + path) {}

std::string SettingsFolder(const std::string& appDataFolder) {
    const char sep = settings_platform::PathSeparator();
    std::string folder = appDataFolder;
    if (folder.empty() || folder.back() != sep) folder += sep;
    return folder + "QVBFU";
}

std::string ProgramBaseName(const std::string& programPath) {
    std::string base = programPath;
    size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.resize(dot);
    size_t slash = base.rfind(settings_platform::PathSeparator());
    if (slash != std::string::npos) base = base.substr(slash + 1);
    return base;
}

std::string BuildIniFilePath(const std::string& folder, const std::string& programPath) {
    return folder + settings_platform::PathSeparator() + ProgramBaseName(programPath) + ".INI";
}

std::string ReadStoredFirmwareFile(const std::string& baseName, bool createFolder,
                                   std::string* iniFilePath) {
    iniFilePath->clear();
    // No folder known: keep no settings file rather than one at the root of a drive.
    const std::string appData = settings_platform::AppDataFolder();
    if (appData.empty()) return std::string();
    const std::string folder = SettingsFolder(appData);
    if (createFolder) settings_platform::CreateFolder(folder);
    *iniFilePath = folder + settings_platform::PathSeparator() + baseName + ".INI";
    return settings_platform::ReadProfileValue(*iniFilePath, kSection, kKey);
}

std::string ReadStoredFirmwareFile(std::string* iniFilePath) {
    return ReadStoredFirmwareFile(ProgramBaseName(settings_platform::ProgramPath()), true,
                                  iniFilePath);
}

void WriteStoredFirmwareFile(const std::string& iniFilePath, const std::string& fileName) {
    if (iniFilePath.empty()) return;
    if (!settings_platform::WriteProfileValue(iniFilePath, kSection, kKey, fileName))
        throw ESettingsWriteError(iniFilePath);
}

}  // namespace app
