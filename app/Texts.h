// The text catalogue: every user-visible text is fetched by its ID at the moment of use.
#pragma once

#include <string>

namespace app {

constexpr int kLanguageEnglish = 1033;             // English (United States)
constexpr int kLanguageChineseTraditional = 1028;  // Traditional Chinese (Taiwan)

// The text for a catalogue ID in the user's language, as an 8-bit string (the ANSI code page
// on Windows, UTF-8 elsewhere), at most 1023 bytes. An ID without an entry gives "".
std::string LoadText(int id);

// The catalogue's own copy of a text (UTF-8, as written in TextCatalogue.def), or nullptr
// when the ID has no entry. Both builds carry it; tests compare the resources with it.
const char* CatalogueText(int id, int language);

// The language LoadText uses: fixed by the platform for the whole run, unless a test
// overrides it (0 removes the override).
int CurrentTextLanguage();
void SetTextLanguageOverride(int language);

// Picks the catalogue language from a POSIX locale name such as "zh_TW.UTF-8".
int LanguageFromLocaleName(const std::string& locale);

}  // namespace app
