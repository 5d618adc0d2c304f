#include "app/Texts.h"

#include <atomic>

namespace app {
namespace {

struct CatalogueEntry {
    int id;
    const char* english;
    const char* chinese;
};

const CatalogueEntry kCatalogue[] = {
#define QV_TEXT(id, en, zh) {id, en, zh},
#include "app/TextCatalogue.def"
#undef QV_TEXT
};

std::atomic<int> languageOverride{0};

}  // namespace

const char* CatalogueText(int id, int language) {
    for (const CatalogueEntry& entry : kCatalogue) {
        if (entry.id == id) {
            if (language == kLanguageEnglish) return entry.english;
            if (language == kLanguageChineseTraditional) return entry.chinese;
            return nullptr;
        }
    }
    return nullptr;
}

void SetTextLanguageOverride(int language) {
    languageOverride = language;
}

int LanguageFromLocaleName(const std::string& locale) {
    // Taiwan, Hong Kong and Macau write Traditional Chinese; everyone else gets English.
    for (const char* prefix : {"zh_TW", "zh_HK", "zh_MO"}) {
        if (locale.compare(0, 5, prefix) == 0) return kLanguageChineseTraditional;
    }
    return kLanguageEnglish;
}

int OverriddenTextLanguage() {
    return languageOverride;
}

}  // namespace app
