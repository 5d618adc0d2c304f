// One HFONT per distinct framework font, shared by every window that uses it and released
// with the back end (after all windows are gone).
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <tuple>

#include "ui/win32/Peer.h"

namespace ui::win32 {
namespace {

using FontKey = std::tuple<std::string, int, BYTE>;

// Never destroyed: the back end may be released from a static destructor (the application
// object's), after a function-local static here would already be gone.
std::map<FontKey, HFONT>& Cache() {
    static auto* cache = new std::map<FontKey, HFONT>;
    return *cache;
}

}  // namespace

HFONT FontHandle(const TFont& font) {
    FontKey key{font.Name, font.Height, font.Charset};
    auto found = Cache().find(key);
    if (found != Cache().end()) return found->second;
    if (font.Name.size() >= LF_FACESIZE) {
        throw std::invalid_argument("font name too long: " + font.Name);
    }
    LOGFONTA lf{};
    lf.lfHeight = font.Height;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = font.Charset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    font.Name.copy(lf.lfFaceName, LF_FACESIZE - 1);
    HFONT handle = CreateFontIndirectA(&lf);
    if (!handle) throw std::runtime_error("cannot create font " + font.Name);
    Cache().emplace(key, handle);
    return handle;
}

void ReleaseFonts() {
    for (auto& entry : Cache()) DeleteObject(entry.second);
    Cache().clear();
}

}  // namespace ui::win32
