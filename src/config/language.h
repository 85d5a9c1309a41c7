// Interface texts from the language files ("chinese.lang" for Chinese,
// "english.lang" for English) and where those files and the help pages are
// found. A LanguageCatalog reads its language's file when a text is first
// needed and again whenever the file's size or modification time changes,
// so a look-up always sees the file as it is; a missing file or key gives an
// empty text. In a value the two characters "\n" stand for a line break (a
// two-line button caption).
#ifndef STRBATCH_CONFIG_LANGUAGE_H_
#define STRBATCH_CONFIG_LANGUAGE_H_

#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "config/options.h"

namespace strbatch {

// Longest texts handed out: messages and dialog titles, control captions and
// column titles.
inline constexpr size_t kTextLimit = 1022;
inline constexpr size_t kCaptionLimit = 254;

// Where the language files and help pages are looked for: the program
// directory, or, for an installed copy whose program directory lacks the
// file, ../share/strbatch beside it. SetResourceDirectory replaces both
// with one directory (tests); an empty directory restores the default.
void SetResourceDirectory(const std::string& directory);
std::string ResourceFilePath(const std::string& fileName);

// The help page of a language: "rep_help_en.htm" for English, else
// "rep_help.htm". FindHelpFile is false when that page does not exist; it
// never falls back to the other language.
std::string HelpFilePath(Language language);
bool FindHelpFile(Language language, std::string* path);

class LanguageCatalog {
 public:
  explicit LanguageCatalog(Language language = Language::Chinese) : language_(language) {}

  Language CurrentLanguage() const { return language_; }
  void SetLanguage(Language language) { language_ = language; }

  // The language file of the current language.
  std::string FilePath() const;

  // The text of a numeric key in section "string" (code page bytes).
  std::string Text(std::string_view key) const;
  // A message for the user in UTF-8: the text of a key in section "string",
  // with "%1", "%2" ... replaced by the arguments in turn (UTF-8 too).
  std::string Message(std::string_view key, std::initializer_list<std::string> args = {}) const;
  std::string Message(std::string_view key, const std::vector<std::string>& args) const;
  // Any value of the language file, cut at limit bytes.
  std::string Value(std::string_view section, std::string_view key, size_t limit) const;
  // Dialog captions: "caption" of a dialog's section, the caption of the
  // control with a numeric id (key in signed decimal), and the list column
  // titles of section "dialog_main" ("FILELIST_COL1" ... "STRLIST_COL3").
  // Empty means: keep the caption the control already has.
  std::string DialogCaption(std::string_view section) const;
  std::string ControlCaption(std::string_view section, int controlId) const;
  std::string ColumnTitle(std::string_view key) const;

 private:
  // The file's content as last read, and what it was read from.
  const std::string& Content() const;

  Language language_;
  mutable std::string cachedPath_;
  mutable ino_t cachedInode_ = 0;
  mutable off_t cachedSize_ = -1;
  mutable timespec cachedTime_{};
  mutable std::string content_;
};

}  // namespace strbatch

#endif  // STRBATCH_CONFIG_LANGUAGE_H_
