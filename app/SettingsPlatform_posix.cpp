// POSIX half of the settings file: the XDG configuration folder and our own profile files.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/IniText.h"
#include "app/SettingsPlatform.h"

namespace app {
namespace settings_platform {

char PathSeparator() {
    return '/';
}

// $XDG_CONFIG_HOME, else ~/.config: where per-user settings live on Linux.
std::string AppDataFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') return xdg;
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::string(home) + "/.config";
    return std::string();
}

void CreateFolder(const std::string& path) {
    mkdir(path.c_str(), 0755);
}

std::string ProgramPath() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

std::string ReadProfileValue(const std::string& path, const std::string& section,
                             const std::string& key) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string();
    std::stringstream content;
    content << in.rdbuf();
    std::string value;
    if (!IniGetValue(content.str(), section, key, &value)) return std::string();
    if (value.size() > 2047) value.resize(2047);
    return value;
}

// The new content goes to a temporary file that then replaces the old one, so a failed write
// (a full disk, say) never leaves a half-written settings file behind.
bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value) {
    std::string content;
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::stringstream buffer;
            buffer << in.rdbuf();
            content = buffer.str();
        }
    }
    // A settings file the user made read-only stays untouched (also for root, whom access()
    // would let write).
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && (status.st_mode & S_IWUSR) == 0) return false;
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out << IniSetValue(content, section, key, value);
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace settings_platform
}  // namespace app
