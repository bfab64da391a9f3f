#include "framework/Language.h"

#include <cstdlib>
#include <cstring>
#include <optional>

namespace quillon {

namespace {
std::optional<Language> chosen;
}

Language LanguageFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "zh", 2) == 0 ? Language::Chinese : Language::English;
    }
    return Language::English;
}

Language InterfaceLanguage() {
    if (!chosen)
        chosen = LanguageFromEnvironment();
    return *chosen;
}

void SetInterfaceLanguage(Language language) {
    chosen = language;
}

}  // namespace quillon
