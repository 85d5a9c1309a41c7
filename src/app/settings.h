// The user's settings file: the options kept from one run to the next
// (section "option") and the two table paths of the line sort tool (section
// "Sort3"). A missing, unreadable or garbled file gives the defaults.
#ifndef STRBATCH_APP_SETTINGS_H_
#define STRBATCH_APP_SETTINGS_H_

#include <string>

#include "app/safe_file.h"
#include "app/text_encoding.h"

namespace strbatch {

// $STRBATCH_CONFIG when set, else $XDG_CONFIG_HOME/strbatch.INI (an
// absolute XDG_CONFIG_HOME only), else ~/.config/strbatch.INI. Empty when
// there is no home directory.
std::string SettingsFilePath();

struct Settings {
  int caseSensitive = 1;  // "Case": 1 matching is case-sensitive
  int advance = 0;        // "Advance": 1 find strings are advanced expressions
  int altCode = 0;        // "AltCode": code-conversion choice 0 to 6
  int language = 0;       // "Language": interface language, 0 Chinese, 1 English
  // "Encoding": how files are read; "gbk" when the file has no such key.
  EncodingSetting encoding = EncodingSetting::Gbk;
};

// Each value out of its range (0 or 1; 0 to 6 for altCode; a known name
// for the encoding) or not a number gives that value's default.
Settings LoadSettings(const std::string& path);

// Writes "Case", "Advance", "AltCode", "language" and "Encoding", in this order, into
// section "option" with one all-or-nothing rewrite, creating the file and its
// directory when missing. False, with a reason, when nothing was written.
bool SaveSettings(FileRewriter& rewriter, const std::string& path, const Settings& settings,
                  std::string* error);
bool SaveSettings(const std::string& path, const Settings& settings, std::string* error);

// The line sort tool's table files, section "Sort3"; empty when not set.
struct SortToolSettings {
  std::string equalValueTable;  // "ByFile"
  std::string noSortTable;      // "notfile"
};

SortToolSettings LoadSortToolSettings(const std::string& path);
bool SaveSortToolSettings(const std::string& path, const SortToolSettings& settings,
                          std::string* error);

}  // namespace strbatch

#endif  // STRBATCH_APP_SETTINGS_H_
