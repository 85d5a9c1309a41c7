// Interface texts from the language files beside the executable
// ("chinese.lang" for language 0, "english.lang" for 1). Every look-up reads
// the file anew; a missing file or key gives an empty text.
#ifndef STRBATCH_APP_LANGUAGE_H_
#define STRBATCH_APP_LANGUAGE_H_

#include <string>

namespace strbatch {

// The process-wide interface language: 0 Chinese, 1 English.
int InterfaceLanguage();
void SetInterfaceLanguage(int language);

// The program directory followed by "/english.lang" or "/chinese.lang".
std::string LanguageFilePath();

// The text of a numeric key in section "string" (code page bytes).
std::string GetText(const std::string& key);

// Any value of the language file, cut at limit bytes.
std::string GetLanguageValue(const std::string& section, const std::string& key, size_t limit);

}  // namespace strbatch

#endif  // STRBATCH_APP_LANGUAGE_H_
