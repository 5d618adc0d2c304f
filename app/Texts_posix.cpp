// Portable half of the text catalogue: the compiled table, in the locale's language.
#include <cstdlib>
#include <string>

#include "app/Texts.h"
#include "app/TextsPlatform.h"

namespace app {
namespace {

// The locale the C library would use for messages: LC_ALL, then LC_MESSAGES, then LANG.
std::string MessagesLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return "C";
}

}  // namespace

int CurrentTextLanguage() {
    if (int forced = OverriddenTextLanguage()) return forced;
    static const int language = LanguageFromLocaleName(MessagesLocale());
    return language;
}

std::string LoadText(int id) {
    const char* text = CatalogueText(id, CurrentTextLanguage());
    if (text == nullptr) return std::string();
    std::string result(text);
    if (result.size() > 1023) result.resize(1023);
    return result;
}

}  // namespace app
