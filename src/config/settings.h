// The user's settings file: the options kept from one run to the next
// (section "option") and the two table paths of the line sort tool (section
// "Sort3"). A missing, unreadable or garbled file gives the defaults.
#ifndef STRBATCH_CONFIG_SETTINGS_H_
#define STRBATCH_CONFIG_SETTINGS_H_

#include <string>
#include <vector>

#include "config/options.h"
#include "base/profile.h"
#include "base/safe_file.h"
#include "base/text_encoding.h"

namespace strbatch {

// $STRBATCH_CONFIG when set, else $XDG_CONFIG_HOME/strbatch.INI (an
// absolute XDG_CONFIG_HOME only), else ~/.config/strbatch.INI. Empty when
// there is no home directory.
std::string SettingsFilePath();

// The language of the texts the programs print (the CLI's messages, --help):
// "zh" or "en" as asked, else the settings file's "Language", else the
// environment's (LC_ALL, LC_MESSAGES or LANG beginning with "zh" is
// Chinese), else English.
Language ChooseMessageLanguage(const std::string& requested);

// The stored numbers of the code conversions, 0 to 6 in the order of
// CodeConversion; a number out of range gives CodeConversion::None.
int AltCodeNumber(CodeConversion conversion);
CodeConversion AltCodeFromNumber(int number);

// Reads "Case", "Advance", "AltCode", "Language", "Encoding" and "AllParts" into the
// options, and "PartLimitMegabytes" of section "office"; the others keep
// their defaults. Each value out of its range (0 or 1; 0 to 6 for AltCode; a
// known name for the encoding; 1 to 2047 for the part limit) or not a
// number gives that value's default. The part limit is read only: the user
// edits it in the file.
Options LoadSettings(const std::string& path);

// Writes "Case", "Advance", "AltCode", "language", "Encoding" and "AllParts", in this order, into
// section "option" with one all-or-nothing rewrite, creating the file and its
// directory when missing. False, with a reason, when nothing was written.
bool SaveSettings(FileRewriter& rewriter, const std::string& path, const Options& settings,
                  Message* error);
bool SaveSettings(const std::string& path, const Options& settings, Message* error);

// The line sort tool's table files, section "Sort3"; empty when not set.
struct SortToolSettings {
  std::string equalValueTable;  // "ByFile"
  std::string noSortTable;      // "notfile"
};

SortToolSettings LoadSortToolSettings(const std::string& path);
bool SaveSortToolSettings(const std::string& path, const SortToolSettings& settings,
                          Message* error);

// Undo (section "undo"): "Enabled" (0 or 1), how many runs ("Runs", 1 to
// 1000) and how many megabytes of old bytes ("Megabytes", 1 to 1048576)
// the journals keep; the smaller bound wins. Values out of range give the
// defaults. Read only: the user edits them in the file.
struct UndoSettings {
  bool enabled = true;
  int runs = 20;
  int megabytes = 2048;
};
UndoSettings LoadUndoSettings(const std::string& path);

// What the windows keep from one run to the next (section "window"): their
// sizes and places, column widths, the folders last used by each file
// dialog. Values are plain text the window writes and reads back; a missing
// key gives an empty text.
std::string LoadWindowValue(const std::string& path, const std::string& key);
bool SaveWindowValues(const std::string& path, const std::vector<ProfileEntry>& values,
                      Message* error);

}  // namespace strbatch

#endif  // STRBATCH_CONFIG_SETTINGS_H_
