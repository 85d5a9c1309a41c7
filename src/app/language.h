// Interface texts from the language files beside the executable
// ("chinese.lang" for language 0, "english.lang" for 1). Every look-up reads
// the file anew; a missing file or key gives an empty text. In a value the two
// characters "\n" stand for a line break (a two-line button caption).
#ifndef STRBATCH_APP_LANGUAGE_H_
#define STRBATCH_APP_LANGUAGE_H_

#include <cstddef>
#include <initializer_list>
#include <string>

namespace strbatch {

// Longest texts handed out: messages and dialog titles, control captions and
// column titles.
inline constexpr size_t kTextLimit = 1022;
inline constexpr size_t kCaptionLimit = 254;

// The process-wide interface language: 0 Chinese, 1 English.
int InterfaceLanguage();
void SetInterfaceLanguage(int language);

// Where the language files and help pages are looked for: the program
// directory, or, for an installed copy whose program directory lacks the
// file, ../share/strbatch beside it. SetResourceDirectory replaces both
// with one directory (tests); an empty directory restores the default.
void SetResourceDirectory(const std::string& directory);
std::string ResourceFilePath(const std::string& fileName);

// The program directory followed by "/english.lang" or "/chinese.lang".
std::string LanguageFilePath();

// The text of a numeric key in section "string" (code page bytes).
std::string GetText(const std::string& key);

// A message for the user in UTF-8: the text of a key in section "string",
// with "%1", "%2" ... replaced by the arguments in turn (UTF-8 too).
std::string MessageText(const std::string& key, std::initializer_list<std::string> args = {});

// Any value of the language file, cut at limit bytes.
std::string GetLanguageValue(const std::string& section, const std::string& key, size_t limit);

// Dialog captions: "caption" of a dialog's section, the caption of the
// control with a numeric id (key in signed decimal), and the list column
// titles of section "dialog_main" ("FILELIST_COL1" ... "STRLIST_COL3").
// Empty means: keep the caption the control already has.
std::string GetDialogCaption(const std::string& section);
std::string GetControlCaption(const std::string& section, int controlId);
std::string GetColumnTitle(const std::string& key);

// The help page for an interface language: "rep_help_en.htm" for 1, else
// "rep_help.htm". FindHelpFile is false when that page does not exist; it
// never falls back to the other language.
std::string HelpFilePath(int language);
bool FindHelpFile(int language, std::string* path);

}  // namespace strbatch

#endif  // STRBATCH_APP_LANGUAGE_H_
