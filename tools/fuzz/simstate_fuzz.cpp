// libFuzzer target for the headset simulator's state file, which a crash or an editor may have
// left half-written: loading must never fault; a refused file changes nothing and says why; a
// loaded one holds only sound settings and comes back the same after being written out again.
//
// Input: the file's bytes.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/headset_sim/HeadsetState.h"

namespace {

using headsetsim::HeadsetState;

// One file for the whole run, rewritten for each input. It is removed at once and read through
// its descriptor's name, so that nothing is left behind however the run ends.
int StateFile() {
    static const int fd = [] {
        const char* folder = std::getenv("TMPDIR");
        std::string path = std::string(folder != nullptr && folder[0] != '\0' ? folder : "/tmp") +
                           "/qv-simstate-fuzz-XXXXXX";
        const int made = ::mkstemp(&path[0]);
        if (made < 0) std::abort();
        ::unlink(path.c_str());
        return made;
    }();
    return fd;
}

std::string StatePath() {
    return "/proc/self/fd/" + std::to_string(StateFile());
}

void Write(const std::string& bytes) {
    if (::ftruncate(StateFile(), 0) != 0 ||
        ::pwrite(StateFile(), bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        std::abort();
}

bool SoundDial(const std::string& dial) {
    if (dial.size() > 16) return false;
    for (char c : dial) {
        if (!((c >= '0' && c <= '9') || c == '+' || c == '*' || c == '#')) return false;
    }
    return true;
}

// Field by field: HeadsetState's own comparison goes through Serialize, which would hide a
// field it leaves out.
bool SameFields(const HeadsetState& a, const HeadsetState& b) {
    return a.IdentityValue2 == b.IdentityValue2 && a.FirmwareVersion == b.FirmwareVersion &&
           a.DeviceName == b.DeviceName && a.BdAddress == b.BdAddress &&
           a.SpeedDial1 == b.SpeedDial1 && a.SpeedDial2 == b.SpeedDial2 &&
           a.SpeedDial3 == b.SpeedDial3 && a.A2dpMixPercent == b.A2dpMixPercent &&
           a.GpsMixPercent == b.GpsMixPercent && a.GpsVoiceSharing == b.GpsVoiceSharing;
}

bool EndsWithCarriageReturn(const std::string& text) {
    return !text.empty() && text.back() == '\r';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Write(std::string(reinterpret_cast<const char*>(data), size));
    const HeadsetState before;
    HeadsetState state;
    std::string error;
    const HeadsetState::LoadResult result = state.Load(StatePath(), error);
    if (result == HeadsetState::LoadResult::Missing) std::abort();
    if (result == HeadsetState::LoadResult::Refused) {
        if (!SameFields(state, before) || error.empty()) std::abort();
        return 0;
    }
    if (!error.empty()) std::abort();
    if (!SoundDial(state.SpeedDial1) || !SoundDial(state.SpeedDial2) ||
        !SoundDial(state.SpeedDial3)) {
        std::abort();
    }
    // A free-text value that itself ends in a carriage return loses it on the way back: the
    // reader takes a line's last carriage return for a Windows line end.
    if (EndsWithCarriageReturn(state.DeviceName) || EndsWithCarriageReturn(state.BdAddress))
        return 0;
    Write(state.Serialize());
    HeadsetState reloaded;
    if (reloaded.Load(StatePath(), error) != HeadsetState::LoadResult::Loaded) std::abort();
    if (!SameFields(reloaded, state)) std::abort();
    return 0;
}
