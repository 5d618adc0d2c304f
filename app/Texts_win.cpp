// Windows half of the text catalogue: the program's string-table resources. LoadStringA
// picks the table of the user's interface language and converts it to the ANSI code page.
#include <windows.h>

#include <string>

#include "app/Texts.h"
#include "app/TextsPlatform.h"

namespace app {
namespace {

// A string of a given language straight from the resources (tests force a language this way).
std::string LoadTextOfLanguage(int id, int language) {
    HMODULE module = GetModuleHandleA(nullptr);
    const LPCSTR block = MAKEINTRESOURCEA(static_cast<WORD>(id / 16 + 1));
    HRSRC resource = FindResourceExA(module, MAKEINTRESOURCEA(6) /* RT_STRING */, block,
                                     static_cast<WORD>(language));
    if (resource == nullptr) return std::string();
    HGLOBAL loaded = LoadResource(module, resource);
    const WCHAR* p = loaded ? static_cast<const WCHAR*>(LockResource(loaded)) : nullptr;
    if (p == nullptr) return std::string();
    // A block holds 16 counted strings; skip to ours.
    for (int i = 0; i < id % 16; ++i) p += 1 + *p;
    const int length = *p;
    if (length == 0) return std::string();
    char buffer[1024];
    int n =
        WideCharToMultiByte(CP_ACP, 0, p + 1, length, buffer, sizeof buffer - 1, nullptr, nullptr);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace

int CurrentTextLanguage() {
    if (int forced = OverriddenTextLanguage()) return forced;
    return LANGIDFROMLCID(GetThreadLocale()) == kLanguageChineseTraditional
               ? kLanguageChineseTraditional
               : kLanguageEnglish;
}

std::string LoadText(int id) {
    if (int forced = OverriddenTextLanguage()) return LoadTextOfLanguage(id, forced);
    char buffer[1024];
    int n = LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace app
