#include "console/SupportLog.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace service {

std::string LogTimestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    char full[48];
    std::snprintf(full, sizeof full, "%s.%03d", text, static_cast<int>(ms));
    return full;
}

SupportLog::~SupportLog() {
    if (file_ != nullptr) std::fclose(file_);
}

bool SupportLog::Open(const std::string& path, std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = std::fopen(path.c_str(), "ab");
    if (file_ == nullptr) {
        error = "cannot open the log file " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void SupportLog::Line(const std::string& source, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ == nullptr) return;
    std::fprintf(file_, "%s [%s] %s\n", LogTimestamp().c_str(), source.c_str(), text.c_str());
    std::fflush(file_);
}

}  // namespace service
