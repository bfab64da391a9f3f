#pragma once

// The interface language: Chinese for a zh* locale, English for everything else.

namespace quillon {

enum class Language { English, Chinese };

// From LC_ALL, then LC_MESSAGES, then LANG: the first one that is set and not empty.
Language LanguageFromEnvironment();

// The language new windows take: the environment's, read once, unless a caller chose one.
Language InterfaceLanguage();
void SetInterfaceLanguage(Language language);

}  // namespace quillon
