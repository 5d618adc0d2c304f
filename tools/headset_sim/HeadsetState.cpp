#include "HeadsetState.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "device/protocol/StatusLine.h"

namespace headsetsim {

void HeadsetState::RestoreDefaultSettings() {
    const HeadsetState defaults;
    SpeedDial1 = defaults.SpeedDial1;
    SpeedDial2 = defaults.SpeedDial2;
    SpeedDial3 = defaults.SpeedDial3;
    A2dpMixPercent = defaults.A2dpMixPercent;
    GpsMixPercent = defaults.GpsMixPercent;
    GpsVoiceSharing = defaults.GpsVoiceSharing;
}

std::string HeadsetState::Serialize() const {
    std::ostringstream out;
    out << "IdentityValue2=" << IdentityValue2 << '\n'
        << "FirmwareVersion=" << FirmwareVersion << '\n'
        << "DeviceName=" << DeviceName << '\n'
        << "BdAddress=" << BdAddress << '\n'
        << "SpeedDial1=" << SpeedDial1 << '\n'
        << "SpeedDial2=" << SpeedDial2 << '\n'
        << "SpeedDial3=" << SpeedDial3 << '\n'
        << "A2dpMixPercent=" << A2dpMixPercent << '\n'
        << "GpsMixPercent=" << GpsMixPercent << '\n'
        << "GpsVoiceSharing=" << GpsVoiceSharing << '\n';
    return out.str();
}

namespace {

// A stored state is a few hundred bytes; anything far larger is not one of ours.
constexpr off_t kMaxStateFileSize = 64 * 1024;
// The most dial characters the device keeps for one speed dial.
constexpr size_t kMaxDialLength = 16;

bool ToInt32(const std::string& text, int32_t& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || number < INT32_MIN || number > INT32_MAX) return false;
    if (text[0] != '-' && (text[0] < '0' || text[0] > '9')) return false;  // no blank, no '+'
    value = static_cast<int32_t>(number);
    return true;
}

bool IsDialString(const std::string& text) {
    if (text.size() > kMaxDialLength) return false;
    for (char c : text) {
        if (!device::IsDialChar(c)) return false;
    }
    return true;
}

// Applies one "key=value" line to state; false with the reason when it is not one of ours.
bool ApplyLine(const std::string& line, HeadsetState& state, std::string& why) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
        why = "not a key=value line";
        return false;
    }
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    int32_t* number = nullptr;
    std::string* dial = nullptr;
    if (key == "IdentityValue2")
        number = &state.IdentityValue2;
    else if (key == "FirmwareVersion")
        number = &state.FirmwareVersion;
    else if (key == "A2dpMixPercent")
        number = &state.A2dpMixPercent;
    else if (key == "GpsMixPercent")
        number = &state.GpsMixPercent;
    else if (key == "GpsVoiceSharing")
        number = &state.GpsVoiceSharing;
    else if (key == "SpeedDial1")
        dial = &state.SpeedDial1;
    else if (key == "SpeedDial2")
        dial = &state.SpeedDial2;
    else if (key == "SpeedDial3")
        dial = &state.SpeedDial3;
    else if (key == "DeviceName")
        state.DeviceName = value;
    else if (key == "BdAddress")
        state.BdAddress = value;
    else {
        why = "unknown setting '" + key + "'";
        return false;
    }
    if (number != nullptr && !ToInt32(value, *number)) {
        why = key + " is not a number: '" + value + "'";
        return false;
    }
    if (dial != nullptr) {
        if (!IsDialString(value)) {
            why = key + " is not a speed dial of up to 16 characters 0-9 + * #: '" + value + "'";
            return false;
        }
        *dial = value;
    }
    return true;
}

bool WriteAllTo(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

HeadsetState::LoadResult HeadsetState::Load(const std::string& path, std::string& error) {
    error.clear();
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return LoadResult::Missing;
        error = path + ": " + std::strerror(errno);
        return LoadResult::Refused;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
        return LoadResult::Refused;
    }
    if (info.st_size > kMaxStateFileSize) {
        error = path + ": far too large for a headset state file";
        return LoadResult::Refused;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return LoadResult::Refused;
    }
    HeadsetState loaded = *this;  // committed only when every line is sound
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // edited on Windows
        if (line.empty() || line[0] == '#') continue;
        std::string why;
        if (!ApplyLine(line, loaded, why)) {
            error = path + ": not a headset state file (line " + std::to_string(number) + ": " +
                    why + ")";
            return LoadResult::Refused;
        }
    }
    if (in.bad()) {
        error = path + ": cannot be read";
        return LoadResult::Refused;
    }
    *this = loaded;
    return LoadResult::Loaded;
}

bool HeadsetState::Save(const std::string& path) const {
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) ::fchmod(fd, info.st_mode & 07777);  // the user's mode
    const bool written = WriteAllTo(fd, Serialize()) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int folder = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

}  // namespace headsetsim
