#include "DfuModeHook.h"

#include <chrono>
#include <thread>

namespace headsetsim {
namespace {

class StayAwayHook : public DfuModeHook {
  public:
    bool RunDfuMode(int32_t&, const StopRequested&) override { return false; }
};

class TimedReturnHook : public DfuModeHook {
  public:
    TimedReturnHook(int32_t pauseMs, int32_t newVersion)
        : pauseMs_(pauseMs), newVersion_(newVersion) {}

    bool RunDfuMode(int32_t& firmwareVersion, const StopRequested& stop) override {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(pauseMs_);
        while (std::chrono::steady_clock::now() < end) {
            if (stop()) return false;  // ended while away: nothing was flashed
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (newVersion_ >= 0) firmwareVersion = newVersion_;
        return true;
    }

  private:
    int32_t pauseMs_;
    int32_t newVersion_;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::unique_ptr<DfuModeHook> MakeStayAwayHook() {
    return std::make_unique<StayAwayHook>();
}

std::unique_ptr<DfuModeHook> MakeTimedReturnHook(int32_t pauseMs, int32_t newVersion) {
    return std::make_unique<TimedReturnHook>(pauseMs, newVersion);
}

int32_t VersionFromComment(const std::string& comment) {
    const size_t size = comment.size();
    for (size_t i = 0; i < size; ++i) {
        if (comment[i] != 'V' && comment[i] != 'v') continue;
        size_t pos = i + 1;
        int32_t major = 0;
        size_t digits = 0;
        while (pos < size && IsDigit(comment[pos]) && digits < 6) {
            major = major * 10 + (comment[pos++] - '0');
            ++digits;
        }
        if (digits == 0 || pos + 2 >= size) continue;
        if (comment[pos] != '.' || !IsDigit(comment[pos + 1]) || !IsDigit(comment[pos + 2])) {
            continue;
        }
        if (pos + 3 < size && IsDigit(comment[pos + 3])) continue;
        return major * 100 + (comment[pos + 1] - '0') * 10 + (comment[pos + 2] - '0');
    }
    return -1;
}

}  // namespace headsetsim
