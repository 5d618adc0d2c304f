// Internal: what the platform halves of the text catalogue share.
#pragma once

namespace app {

// The language a test forced, or 0.
int OverriddenTextLanguage();

}  // namespace app
