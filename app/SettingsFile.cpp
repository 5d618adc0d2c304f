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

std::string BuildIniFilePath(const std::string& folder, const std::string& programPath) {
    const char sep = settings_platform::PathSeparator();
    std::string base = programPath;
    size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.resize(dot);
    size_t slash = base.rfind(sep);
    if (slash != std::string::npos) base = base.substr(slash + 1);
    return folder + sep + base + ".INI";
}

std::string ReadStoredFirmwareFile(std::string* iniFilePath) {
    const std::string appData = settings_platform::AppDataFolder();
    // Without an application-data folder there is no place for the file: this run keeps
    // none, rather than one in a folder at the root of the file system.
    if (appData.empty()) {
        iniFilePath->clear();
        return std::string();
    }
    std::string folder = SettingsFolder(appData);
    settings_platform::CreateFolder(folder);
    *iniFilePath = BuildIniFilePath(folder, settings_platform::ProgramPath());
    return settings_platform::ReadProfileValue(*iniFilePath, kSection, kKey);
}

void WriteStoredFirmwareFile(const std::string& iniFilePath, const std::string& fileName) {
    if (iniFilePath.empty()) return;  // no settings file this run
    if (!settings_platform::WriteProfileValue(iniFilePath, kSection, kKey, fileName))
        throw ESettingsWriteError(iniFilePath);
}

}  // namespace app
