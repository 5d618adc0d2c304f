#include "WinePortMapping_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <vector>

namespace headsetsim {
namespace {

const char kPortsKey[] = "HKLM\\Software\\Wine\\Ports";

// Runs "wine <args>" in the prefix, quietly; its standard output goes to out when given.
// The exit status, or -1 when wine could not be run.
int RunWine(const std::string& prefix, const std::vector<std::string>& args,
            std::string* out = nullptr) {
    int pipeFds[2] = {-1, -1};
    if (out != nullptr && pipe(pipeFds) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        setenv("WINEPREFIX", prefix.c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(out != nullptr ? pipeFds[1] : null, 1);
        dup2(null, 2);
        if (out != nullptr) {
            close(pipeFds[0]);
            close(pipeFds[1]);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>("wine"));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp("wine", argv.data());
        _exit(127);
    }
    if (out != nullptr) {
        close(pipeFds[1]);
        if (child > 0) {
            char buffer[1024];
            for (;;) {
                const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                out->append(buffer, static_cast<size_t>(n));
            }
        }
        close(pipeFds[0]);
    }
    if (child < 0) return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;  // a signal to end must not lose the child
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

bool ParseRegQueryValue(const std::string& output, const std::string& port, std::string& value) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        std::string name, type;
        fields >> name >> type;
        if (strcasecmp(name.c_str(), port.c_str()) != 0 || type != "REG_SZ") continue;
        std::string rest;
        std::getline(fields, rest);
        const size_t start = rest.find_first_not_of(" \t");
        value = start == std::string::npos ? std::string() : rest.substr(start);
        return true;
    }
    return false;
}

bool WinePortMapping::Map(const std::string& prefix, const std::string& port,
                          const std::string& tty, std::string& error) {
    if (!mapped_) {
        std::string output;
        const int status = RunWine(prefix, {"reg", "query", kPortsKey, "/v", port}, &output);
        if (status < 0) {
            error = "could not run wine to map " + port + " in " + prefix;
            return false;
        }
        hadEntry_ = status == 0 && ParseRegQueryValue(output, port, previous_);
        // An entry for a pty that is gone is a leftover of a killed run, not worth keeping.
        struct stat info;
        if (hadEntry_ && previous_.rfind("/dev/pts/", 0) == 0 &&
            stat(previous_.c_str(), &info) != 0) {
            hadEntry_ = false;
        }
    }
    if (RunWine(prefix, {"reg", "add", kPortsKey, "/v", port, "/d", tty, "/f"}) != 0) {
        error = "could not map " + port + " in " + prefix;
        return false;
    }
    mapped_ = true;
    prefix_ = prefix;
    port_ = port;
    return true;
}

void WinePortMapping::Restore() {
    if (!mapped_) return;
    mapped_ = false;
    if (hadEntry_) {
        RunWine(prefix_, {"reg", "add", kPortsKey, "/v", port_, "/d", previous_, "/f"});
    } else {
        RunWine(prefix_, {"reg", "delete", kPortsKey, "/v", port_, "/f"});
    }
}

}  // namespace headsetsim
