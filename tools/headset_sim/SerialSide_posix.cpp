#include "SerialSide_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "device/ports/ComLinkFolder_posix.h"

namespace headsetsim {
namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + strerror(errno);
}

// Raw bytes both ways: no echo, no CR/LF translation, no line editing.
bool MakeRaw(int fd) {
    termios settings;
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool MakeFolders(const std::string& folder) {
    for (size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos == folder.size() || folder[pos] == '/') {
            const std::string part = folder.substr(0, pos);
            if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

// The target of a symbolic link; empty when path is none.
std::string ReadLink(const std::string& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) return std::string();
    return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace

bool SerialSide::Open(const std::string& tty, std::string& error) {
    Close();
    if (!tty.empty()) {
        // Non-blocking, as the pty below: see WriteAll.
        fd_ = ::open(tty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) {
            error = SystemError("cannot open " + tty);
            return false;
        }
        MakeRaw(fd_);  // not a terminal (a fifo, a file) is fine for a test rig
        toolPath_ = tty;
        return true;
    }
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
        error = SystemError("cannot create a pty");
        Close();
        return false;
    }
    // Non-blocking, so that a full line never holds a write (see WriteAll).
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    const char* slave = ptsname(fd_);
    toolPath_ = slave != nullptr ? slave : "";
    slaveHold_ = ::open(toolPath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveHold_ < 0 || !MakeRaw(slaveHold_)) {
        error = SystemError("cannot set up " + toolPath_);
        Close();
        return false;
    }
    return true;
}

void SerialSide::Close() {
    if (fd_ >= 0) ::close(fd_);
    if (slaveHold_ >= 0) ::close(slaveHold_);
    fd_ = -1;
    slaveHold_ = -1;
}

bool SerialSide::WriteAll(const std::string& bytes, const std::function<bool()>& stop) {
    size_t done = 0;
    while (done < bytes.size()) {
        if (stop()) return false;
        // Never block in write itself: a full line would hold the simulator there for good.
        pollfd p = {fd_, POLLOUT, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready <= 0) continue;  // still full, or a signal: look at stop again
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ComLinks::Add(const std::string& folder, const std::string& portName,
                   const std::string& target, std::string& error) {
    const std::string name = device::ComLinkNameOf(portName);
    if (name.empty()) {
        error = "not a COM port name: " + portName;
        return false;
    }
    if (!MakeFolders(folder)) {
        error = SystemError("cannot create " + folder);
        return false;
    }
    const std::string path = folder + "/" + name;
    std::string previous;
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            error = path + " exists and is not a link; it is left alone";
            return false;
        }
        previous = ReadLink(path);
        // A link into a pty that is gone is a leftover of a killed run, not worth keeping.
        if (previous.rfind("/dev/pts/", 0) == 0 && ::stat(previous.c_str(), &info) != 0) {
            previous.clear();
        }
        ::unlink(path.c_str());
    }
    if (::symlink(target.c_str(), path.c_str()) != 0) {
        error = SystemError("cannot create " + path);
        if (!previous.empty() && ::symlink(previous.c_str(), path.c_str()) != 0) {
            error += " (and could not put back its link to " + previous + ")";
        }
        return false;
    }
    links_.push_back({path, target, previous});
    lastPath_ = path;
    return true;
}

void ComLinks::Remove() {
    // Newest first, so that a name linked twice ends with what was there at the start.
    for (auto link = links_.rbegin(); link != links_.rend(); ++link) {
        if (ReadLink(link->path) != link->target) continue;  // someone else's by now
        ::unlink(link->path.c_str());
        if (!link->previous.empty()) {
            // Best effort while ending: nothing more can be done if it fails.
            (void)::symlink(link->previous.c_str(), link->path.c_str());
        }
    }
    links_.clear();
}

}  // namespace headsetsim
