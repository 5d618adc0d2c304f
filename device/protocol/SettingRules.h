// The values a headset's settings may take when the tool sends them: the rules the window's
// settings pages apply and the console tool's restore applies too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace device {

constexpr std::size_t kMaxSpeedDialLength = 16;
constexpr int32_t kMinMixPercent = 1;
constexpr int32_t kMaxMixPercent = 100;

enum class SpeedDialProblem {
    None,
    BadCharacter,  // a character other than 0-9, +, *, #
    TooLong,       // more than kMaxSpeedDialLength characters
};

// The characters are judged first, then the length. The empty number is allowed.
SpeedDialProblem CheckSpeedDial(const std::string& number);

inline bool IsValidMixPercent(int32_t percent) {
    return percent >= kMinMixPercent && percent <= kMaxMixPercent;
}

// GPS voice sharing is sent as 0 (off) or 1 (on).
inline bool IsValidVoiceSharing(int32_t sharing) {
    return sharing == 0 || sharing == 1;
}

}  // namespace device
