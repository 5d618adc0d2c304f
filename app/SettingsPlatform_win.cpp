// Windows half of the settings file: the shell's folder and the profile API.
#include <shlobj.h>
#include <windows.h>

#include "app/SettingsPlatform.h"

namespace app {
namespace settings_platform {

char PathSeparator() {
    return '\\';
}

// SHGetFolderPathA(CSIDL_APPDATA): the roaming application-data folder, current path.
std::string AppDataFolder() {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path);
    return path;
}

// CreateDirectoryA with default security; "already exists" is the usual outcome.
void CreateFolder(const std::string& path) {
    CreateDirectoryA(path.c_str(), nullptr);
}

// GetModuleFileNameA of the program itself.
std::string ProgramPath() {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, n < sizeof path ? n : 0);
}

// GetPrivateProfileStringA opens the file for this one read and releases it at once.
std::string ReadProfileValue(const std::string& path, const std::string& section,
                             const std::string& key) {
    char value[2048] = {};
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof value,
                                       path.c_str());
    return std::string(value, n);
}

// WritePrivateProfileStringA creates the file and the section when missing.
bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) !=
           FALSE;
}

}  // namespace settings_platform
}  // namespace app
