#include "config/settings.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/profile.h"

namespace strbatch {
namespace {

constexpr const char* kOptionSection = "option";
constexpr const char* kSortSection = "Sort3";
constexpr const char* kWindowSection = "window";
constexpr const char* kUndoSection = "undo";
constexpr const char* kOfficeSection = "office";
// Paths of the table files; longer values are not paths this program wrote.
constexpr size_t kPathLimit = 4095;

int ReadOption(const std::string& path, const char* key, int defaultValue, int highest) {
  int value = GetProfileInt(path, kOptionSection, key, defaultValue);
  return value >= 0 && value <= highest ? value : defaultValue;
}

// Creates the directories above path (mode 0700) so that a first run can
// save its settings where ~/.config does not exist yet.
bool MakeParentDirectories(const std::string& path, Message* error) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = OsFailure(MessageId::kCannotCreate, {prefix});
      return false;
    }
  }
  return true;
}

}  // namespace

std::string SettingsFilePath() {
  if (const char* forced = std::getenv("STRBATCH_CONFIG"); forced && *forced) return forced;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
    return std::string(config) + "/strbatch.INI";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::string(home) + "/.config/strbatch.INI";
  }
  return "";
}

Language ChooseMessageLanguage(const std::string& requested) {
  if (requested == "zh") return Language::Chinese;
  if (requested == "en") return Language::English;
  const std::string settings = SettingsFilePath();
  if (!settings.empty()) {
    const int stored = GetProfileInt(settings, "option", "Language", -1);
    if (stored == 0 || stored == 1) return static_cast<Language>(stored);
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return std::strncmp(value, "zh", 2) == 0 ? Language::Chinese : Language::English;
    }
  }
  return Language::English;
}

int AltCodeNumber(CodeConversion conversion) { return static_cast<int>(conversion); }

CodeConversion AltCodeFromNumber(int number) {
  return number >= 0 && number <= static_cast<int>(CodeConversion::Utf8ToCodePage)
             ? static_cast<CodeConversion>(number)
             : CodeConversion::None;
}

Options LoadSettings(const std::string& path) {
  Options settings;
  if (path.empty()) return settings;
  const Options defaults;
  settings.Case = ReadOption(path, "Case", defaults.Case ? 1 : 0, 1) != 0;
  settings.Advance = ReadOption(path, "Advance", defaults.Advance ? 1 : 0, 1) != 0;
  settings.AltCode = AltCodeFromNumber(ReadOption(path, "AltCode", AltCodeNumber(defaults.AltCode),
                                                  AltCodeNumber(CodeConversion::Utf8ToCodePage)));
  settings.language = static_cast<Language>(
      ReadOption(path, "Language", static_cast<int>(defaults.language), 1));
  settings.allParts = ReadOption(path, "AllParts", defaults.allParts ? 1 : 0, 1) != 0;
  EncodingSetting encoding;
  if (ParseEncodingSetting(GetProfileString(path, kOptionSection, "Encoding", "", 32), &encoding)) {
    settings.encoding = encoding;
  }
  // The XML of a part is read whole, so 2 GiB is the most it can be.
  const int partLimit = GetProfileInt(path, kOfficeSection, "PartLimitMegabytes",
                                      defaults.partLimitMegabytes);
  if (partLimit >= 1 && partLimit < 2048) settings.partLimitMegabytes = partLimit;
  return settings;
}

UndoSettings LoadUndoSettings(const std::string& path) {
  UndoSettings settings;
  if (path.empty()) return settings;
  const UndoSettings defaults;
  auto read = [&path](const char* key, int defaultValue, int lowest, int highest) {
    int value = GetProfileInt(path, kUndoSection, key, defaultValue);
    return value >= lowest && value <= highest ? value : defaultValue;
  };
  settings.enabled = read("Enabled", 1, 0, 1) != 0;
  settings.runs = read("Runs", defaults.runs, 1, 1000);
  settings.megabytes = read("Megabytes", defaults.megabytes, 1, 1 << 20);
  return settings;
}

bool SaveSettings(FileRewriter& rewriter, const std::string& path, const Options& settings,
                  Message* error) {
  if (path.empty()) {
    *error = Message(MessageId::kNoSettingsPlace);
    return false;
  }
  if (!MakeParentDirectories(path, error)) return false;
  return WriteProfileStrings(rewriter, path, kOptionSection,
                             {{"Case", settings.Case ? "1" : "0"},
                              {"Advance", settings.Advance ? "1" : "0"},
                              {"AltCode", std::to_string(AltCodeNumber(settings.AltCode))},
                              {"language", std::to_string(static_cast<int>(settings.language))},
                              {"Encoding", EncodingSettingName(settings.encoding)},
                              {"AllParts", settings.allParts ? "1" : "0"}},
                             error);
}

bool SaveSettings(const std::string& path, const Options& settings, Message* error) {
  return SaveSettings(DefaultFileRewriter(), path, settings, error);
}

SortToolSettings LoadSortToolSettings(const std::string& path) {
  SortToolSettings settings;
  if (path.empty()) return settings;
  settings.equalValueTable = GetProfileString(path, kSortSection, "ByFile", "", kPathLimit);
  settings.noSortTable = GetProfileString(path, kSortSection, "notfile", "", kPathLimit);
  return settings;
}

bool SaveSortToolSettings(const std::string& path, const SortToolSettings& settings,
                          Message* error) {
  if (path.empty()) {
    *error = Message(MessageId::kNoSettingsPlace);
    return false;
  }
  if (!MakeParentDirectories(path, error)) return false;
  return WriteProfileStrings(DefaultFileRewriter(), path, kSortSection,
                             {{"ByFile", settings.equalValueTable},
                              {"notfile", settings.noSortTable}},
                             error);
}

std::string LoadWindowValue(const std::string& path, const std::string& key) {
  if (path.empty()) return "";
  return GetProfileString(path, kWindowSection, key, "", kPathLimit);
}

bool SaveWindowValues(const std::string& path, const std::vector<ProfileEntry>& values,
                      Message* error) {
  if (path.empty()) {
    *error = Message(MessageId::kNoSettingsPlace);
    return false;
  }
  if (!MakeParentDirectories(path, error)) return false;
  return WriteProfileStrings(DefaultFileRewriter(), path, kWindowSection, values, error);
}

}  // namespace strbatch
