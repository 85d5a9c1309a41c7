#include "cli/cli.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <openssl/evp.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "base/code_page.h"
#include "base/file_fingerprint.h"
#include "config/language.h"
#include "config/message_text.h"
#include "base/profile.h"
#include "base/safe_file.h"
#include "base/text_encoding.h"
#include "base/version.h"
#include "config/settings.h"
#include "batch/batch_driver.h"
#include "batch/replace_preview.h"
#include "commands/commands.h"
#include "commands/plan.h"
#include "base/batch_host.h"
#include "config/text_keys.h"
#include "lists/definition_file.h"
#include "lists/definition_list.h"
#include "journal/undo.h"
#include "journal/undo_journal.h"
#include "lists/file_identity.h"
#include "lists/file_list.h"
#include "lists/folder_scan.h"
#include "office/office_bridge.h"
#include "sorttool/line_sort.h"
#include "sorttool/sort_tables.h"

namespace strbatch {
namespace {

// The values of --to and the conversions they name.
const std::map<std::string, CodeConversion> kConversions = {
    {"big5", CodeConversion::GbkToBig5},        {"gbk-traditional", CodeConversion::GbkToTraditional},
    {"gbk", CodeConversion::Big5ToGbk},         {"gbk-simplified", CodeConversion::GbkToSimplified},
    {"utf-8", CodeConversion::ToUtf8},          {"cp936", CodeConversion::Utf8ToCodePage},
};

// The occurrences as "offset:length" records joined by ";".
std::string MatchListText(const std::vector<MatchSpan>& matches) {
  std::string text;
  for (const MatchSpan& span : matches) {
    if (!text.empty()) text += ';';
    text += std::to_string(span.offset) + ":" + std::to_string(span.length);
  }
  return text;
}

std::atomic<int> g_interrupts{0};
std::atomic<int> g_stopSignal{0};

void OnInterrupt(int signalNumber) {
  // The first Ctrl-C (or SIGTERM) asks the batch to stop at its next step; a
  // second one ends the process at once (every rewrite is all-or-nothing,
  // so that is safe for the files too).
  if (g_interrupts.fetch_add(1) >= 1) {
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    return;
  }
  g_stopSignal = signalNumber;
}

// Catches SIGINT and SIGTERM for as long as it lives.
class StopSignals {
 public:
  StopSignals() {
    g_interrupts = 0;
    g_stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
  }
  ~StopSignals() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The exit status of a run that a signal stopped: 128 + its number.
  static int ExitStatus() { return 128 + g_stopSignal.load(); }

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

// Code page bytes to UTF-8 for the terminal; invalid bytes become U+FFFD.
std::string ToTerminal(const std::string& bytes) {
  std::string utf8;
  CodePage::Process().ToUtf8(bytes, &utf8);
  return utf8;
}

struct Definition {
  std::string find;     // as typed, UTF-8
  std::string replace;  // as typed, UTF-8
};

struct Arguments {
  std::vector<Definition> definitions;
  std::vector<std::string> definitionFiles;  // -D, loaded before the -d definitions
  std::vector<std::string> files;
  std::string filesFrom;                 // --files-from: a list of paths ("-": standard input)
  bool nullSeparated = false;            // -0: that list is NUL-separated
  std::vector<std::string> folders;      // --folder: walked as Add folder walks
  std::vector<std::string> includes;     // --include: their name patterns
  bool recursive = false;                // --recursive: subfolders too
  std::string output;      // export-defs
  std::string convertTo;   // convert
  std::string encoding = "gbk";
  std::string parts = "body";  // --parts: the stories of office documents searched
  SortOptions sort;
  bool ignoreCase = false;
  bool advanced = false;
  bool yes = false;
  bool json = false;
  bool backup = false;
  bool dryRun = false;     // replace: show the changes, write nothing
  std::string plan;        // apply: the reviewed plan
  bool noUndo = false;     // change files without a journal
  bool undoList = false;   // undo: list the journals
  std::string undoRun;     // undo: the run to take back (empty: the last)
  std::string report;  // empty: no report; "-": standard output
  std::string lang;    // "zh", "en" or empty
};

class CliHost : public BatchHost {
 public:
  CliHost(const Arguments& args, const LanguageCatalog& texts, std::FILE* in, std::FILE* out,
          std::FILE* err)
      : args_(args), texts_(texts), in_(in), out_(out), err_(err) {}

  bool refused = false;
  bool overUndoLimit = false;  // refused because the run is larger than undo keeps
  bool rejected = false;  // a definition could not be used
  int warnings = 0;

  bool Ask(Question question) override {
    // Going on without undo because the run is too large for the journal
    // is agreed to by --no-undo alone, never by -y: the limit is the user's
    // own. A journal that cannot be made at all (no private directory) is
    // told on the error output, and -y goes on, as a script must be able to.
    if (question == Question::kGoOnWithoutUndoOverLimit) {
      Print("", MessageText(texts_, Message(MessageId::kNoUndoOverLimit)));
      refused = true;
      overUndoLimit = true;
      return false;
    }
    if (args_.yes) return true;
    if (in_ == nullptr || !isatty(fileno(in_))) {
      refused = true;
      return false;
    }
    std::fprintf(err_, "%s [y/N] ", QuestionText(texts_, question).c_str());
    std::fflush(err_);
    char answer[64] = {0};
    if (std::fgets(answer, sizeof(answer), in_) == nullptr ||
        (answer[0] != 'y' && answer[0] != 'Y')) {
      refused = true;
      return false;
    }
    return true;
  }
  void ShowProgress() override {}
  void SetMessage(const std::string&) override {}
  void SetPosition(int) override {}
  // A signal stops the whole run, not just the file at hand, so the
  // request stays once it came.
  bool CheckCancelled() override { return g_interrupts.load() > 0; }
  void HideProgress() override {}
  void SelectFileRow(size_t) override {}
  void OpenReport(const std::string& path) override {
    std::string bytes;
    Message error;
    if (!ReadWholeFile(path, &bytes, &error)) {
      Warn(path, error);
      return;
    }
    if (args_.report == "-") {
      if (std::fwrite(bytes.data(), 1, bytes.size(), out_) != bytes.size() ||
          std::fflush(out_) != 0) {
        Warn("-", Message(MessageId::kCannotWriteStandardOutput));
      }
    } else if (!RewriteFile(args_.report, bytes, &error)) {
      Warn(args_.report, error);
    }
  }
  void Warn(const std::string& path, const Message& message) override {
    Warn(path, MessageText(texts_, message));
  }
  void Notice(const std::string& path, const Message& message) override {
    Print(path, MessageText(texts_, message));
  }
  void RejectDefinition(size_t row, const Message& message) override {
    RejectDefinition(row, MessageText(texts_, message));
  }
  // The same, for texts the command line itself took from the catalog.
  void Warn(const std::string& path, const std::string& reason) {
    warnings++;
    Print(path, reason);
  }
  void RejectDefinition(size_t, const std::string& message) {
    rejected = true;
    Print("", message);
  }
  void Print(const std::string& path, const std::string& text) {
    if (path.empty()) {
      std::fprintf(err_, "strbatch-cli: %s\n", text.c_str());
    } else {
      std::fprintf(err_, "strbatch-cli: %s: %s\n", path.c_str(), text.c_str());
    }
  }

 private:
  const Arguments& args_;
  const LanguageCatalog& texts_;
  std::FILE* in_;
  std::FILE* out_;
  std::FILE* err_;
};

// Tells that the command did not run for want of a confirmation. A run
// over the undo limit has had its own advice, which -y does not answer.
void TellNotConfirmed(const CliHost& host, const LanguageCatalog& texts, std::FILE* err) {
  if (!host.overUndoLimit)
    std::fprintf(err, "strbatch-cli: %s\n", texts.Message(key::kNotConfirmed).c_str());
}

// The exit status of a command that ran, from its report; a command that
// was not confirmed says so first.
int ExitStatus(const CommandReport& report, const CliHost& host, const LanguageCatalog& texts,
               std::FILE* err) {
  switch (report.end) {
    case CommandEnd::kRejected: return kExitUsage;
    case CommandEnd::kRefused:
      TellNotConfirmed(host, texts, err);
      return kExitRefused;
    case CommandEnd::kStopped: return StopSignals::ExitStatus();
    case CommandEnd::kFailed: return kExitFailure;
    case CommandEnd::kFinished: break;
  }
  // Skipped files are reported on stderr as they happen; the status lets a
  // script know that not everything was done.
  return host.warnings > 0 ? kExitFailure : kExitOk;
}

// Takes every "-d/--def FIND REPLACE" out of the arguments before the
// option parser sees them, so that the two strings are taken exactly as
// typed, even when they begin with "-" or are empty.
bool ExtractDefinitions(std::vector<std::string>& args, std::vector<Definition>* definitions,
                        std::string* error) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); i++) {
    if (args[i] == "--") {
      rest.insert(rest.end(), args.begin() + static_cast<long>(i), args.end());
      break;
    }
    if (args[i] == "-d" || args[i] == "--def") {
      if (i + 2 >= args.size()) {
        *error = args[i];  // the option that lacks its strings
        return false;
      }
      definitions->push_back({args[i + 1], args[i + 2]});
      i += 2;
      continue;
    }
    rest.push_back(args[i]);
  }
  args.swap(rest);
  return true;
}

std::string Base64(const std::string& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                     reinterpret_cast<const unsigned char*>(bytes.data()),
                                     static_cast<int>(bytes.size()));
  text.resize(static_cast<size_t>(length));
  return text;
}

std::string Dumped(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// extra: JSON members added to the object of some file rows (by row), as
// text: a dry run's changes can be millions, too many to hold as objects.
// A checked row left without a count named a file the run had already
// processed: it has no line of its own (the run's notice names it).
void PrintResults(const FileList& files, const DefinitionList& definitions,
                  const Arguments& args, bool replacing, bool stopped, std::FILE* out,
                  const std::map<size_t, std::string>* extra = nullptr) {
  if (args.json) {
    // Only a stopped run says so, so that the output of a whole run stays
    // as it always was.
    std::fputs(stopped ? "{\"stopped\":true,\"files\":[" : "{\"files\":[", out);
    bool first = true;
    for (size_t r = 0; r < files.Size(); r++) {
      const FileRow& row = files.Row(r);
      if (!row.checked || !row.count) continue;
      nlohmann::ordered_json entry;
      entry["path"] = row.path;
      // A name that is not UTF-8 reads with replacement characters; its
      // bytes come beside it so that a script can still find the file.
      bool multiByte = false;
      if (!IsValidUtf8(row.path, &multiByte)) entry["path_bytes"] = Base64(row.path);
      entry["count"] = row.count.value_or(0);
      // A replace tells what it changed of what it counted.
      if (replacing) entry["replaced"] = row.count.value_or(0) - row.notChanged;
      entry["matches"] = MatchListText(row.matches);
      std::string file = Dumped(entry);
      if (extra != nullptr && extra->count(r) > 0) {
        file.pop_back();
        file += "," + extra->at(r) + "}";
      }
      if (!first) std::fputc(',', out);
      std::fwrite(file.data(), 1, file.size(), out);
      first = false;
    }
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (size_t d = 0; d < definitions.Size(); d++) {
      list.push_back({{"find", ToTerminal(definitions.Find(d))},
                      {"replace", ToTerminal(definitions.Replace(d))},
                      {"count", definitions.Row(d).count.value_or(0)}});
    }
    std::fprintf(out, "],\"definitions\":%s}\n", Dumped(list).c_str());
    return;
  }
  for (size_t r = 0; r < files.Size(); r++) {
    const FileRow& row = files.Row(r);
    if (!row.checked || !row.count) continue;
    std::fprintf(out, "%lld\t%s\n", static_cast<long long>(row.count.value_or(0)),
                 row.path.c_str());
  }
  for (size_t d = 0; d < definitions.Size(); d++) {
    std::fprintf(out, "%lld\t%s\t%s\n",
                 static_cast<long long>(definitions.Row(d).count.value_or(0)),
                 ToTerminal(definitions.Find(d)).c_str(), ToTerminal(definitions.Replace(d)).c_str());
  }
}

// Adds the definitions: those of -D files (code page bytes), then those of
// -d, typed in UTF-8 and carried into the process code page. A -d string
// the code page cannot hold exactly is refused, never applied with "?"
// standing in for a character; so is a -D file that cannot be read or is not
// a whole definition file (one cut off would apply a half-read last item).
// Either ends the command with status 2 and nothing changed.
int AddDefinitions(const Arguments& args, DefinitionList& definitions, CliHost& host,
                   const LanguageCatalog& texts) {
  for (const std::string& path : args.definitionFiles) {
    std::vector<DefinitionRecord> records;
    DefinitionFileError error;
    if (!LoadDefinitionFile(path, &records, &error)) {
      host.Print("", texts.Message(key::kDefinitionFileRefusedNothingLoaded, {MessageText(texts, error.message)}));
      return kExitUsage;
    }
    definitions.AppendRecords(records, true);
  }
  const CodePage& codePage = CodePage::Process();
  for (const Definition& def : args.definitions) {
    const std::string row = std::to_string(definitions.Size() + 1);
    std::string find, replace;
    for (const std::string* text : {&def.find, &def.replace}) {
      bool multiByte = false;
      std::string character;
      if (!IsValidUtf8(*text, &multiByte)) {
        host.RejectDefinition(definitions.Size(), texts.Message(key::kDefinitionNotUtf8, {row}));
        return kExitUsage;
      }
      if (codePage.FirstCharacterNotHeld(*text, &character)) {
        host.RejectDefinition(
            definitions.Size(),
            texts.Message(key::kDefinitionCharacterNotHeld,
                          {row, character, CodePointName(character), codePage.Name()}));
        return kExitUsage;
      }
    }
    codePage.FromUtf8(def.find, &find);
    codePage.FromUtf8(def.replace, &replace);
    definitions.Append(find, replace, true);
  }
  return kExitOk;
}

// The language's text of a key for --help and usage errors.
std::string Say(const LanguageCatalog& texts, const char* key) { return texts.Message(key); }

// Only the given values: the help shows them as "TEXT:{a,b}", and a value
// outside them is refused in the user's language.
CLI::Validator OneOf(const std::vector<std::string>& values, const LanguageCatalog& texts) {
  std::string shown;
  for (const std::string& value : values) shown += (shown.empty() ? "" : ",") + value;
  shown = "{" + shown + "}";
  return CLI::Validator(
      [values, shown, &texts](const std::string& value) {
        for (const std::string& allowed : values) {
          if (value == allowed) return std::string();
        }
        return texts.Message(key::kValueNotAllowed, {value, shown});
      },
      shown);
}

void AddLanguageOption(CLI::App* command, Arguments& args, const LanguageCatalog& texts) {
  command->add_option("--lang", args.lang, Say(texts, key::kHelpLanguageOption))
      ->check(OneOf({"zh", "en"}, texts));
}

void AddFilesOption(CLI::App* command, Arguments& args, const LanguageCatalog& texts) {
  command->add_option("files", args.files, Say(texts, key::kHelpFilesPositional));
  command->add_option("--files-from", args.filesFrom, Say(texts, key::kHelpFilesFromOption));
  command->add_flag("-0,--null", args.nullSeparated, Say(texts, key::kHelpNullOption));
  command->add_option("--folder", args.folders, Say(texts, key::kHelpFolderOption))
      ->allow_extra_args(false);
  command->add_option("--include", args.includes, Say(texts, key::kHelpIncludeOption))
      ->allow_extra_args(false);
  command->add_flag("--recursive", args.recursive, Say(texts, key::kHelpRecursiveOption));
  AddLanguageOption(command, args, texts);
}

void AddDefinitionOptions(CLI::App* command, Arguments& args, const LanguageCatalog& texts) {
  // One file per -D, so that the files to process may follow it.
  command->add_option("-D,--defs", args.definitionFiles, Say(texts, key::kHelpDefsOption))
      ->expected(1)
      ->allow_extra_args(false)
      ->take_all();
}

void AddEncodingOption(CLI::App* command, Arguments& args, const LanguageCatalog& texts) {
  command->add_option("--encoding", args.encoding, Say(texts, key::kHelpEncodingOption))
      ->check(OneOf({"auto", "gbk", "big5", "utf-8"}, texts));
}

void AddPartsOption(CLI::App* command, Arguments& args, const LanguageCatalog& texts) {
  command->add_option("--parts", args.parts, Say(texts, key::kHelpPartsOption))
      ->check(OneOf({"body", "all"}, texts));
}

void AddYesOption(CLI::App* command, Arguments& args, const LanguageCatalog& texts) {
  command->add_flag("-y,--yes", args.yes, Say(texts, key::kHelpYesOption));
}

void AddBackupOption(CLI::App* command, Arguments& args, const LanguageCatalog& texts) {
  command->add_flag("-b,--backup", args.backup, Say(texts, key::kHelpBackupOption));
}

// The options of the batch commands. Only those that change files take -y
// and -b: a find asks nothing and writes no backup, so it refuses them
// rather than seem to honour them.
void AddBatchOptions(CLI::App* command, Arguments& args, bool withDefinitions, bool changesFiles,
                     const LanguageCatalog& texts) {
  if (withDefinitions) {
    AddDefinitionOptions(command, args, texts);
    command->add_flag("-i,--ignore-case", args.ignoreCase, Say(texts, key::kHelpIgnoreCaseOption));
    command->add_flag("-a,--advanced", args.advanced, Say(texts, key::kHelpAdvancedOption));
  }
  if (changesFiles) AddYesOption(command, args, texts);
  AddEncodingOption(command, args, texts);
  command->add_flag("--json", args.json, Say(texts, key::kHelpJsonOption));
  if (changesFiles) AddBackupOption(command, args, texts);
  AddFilesOption(command, args, texts);
}

void AddNoUndoOption(CLI::App* command, Arguments& args, const LanguageCatalog& texts) {
  command->add_flag("--no-undo", args.noUndo, Say(texts, key::kHelpNoUndoOption));
}

// The whole batch's files, in order: those named on the command line, then
// those of --files-from, then each --folder's. False with a message when a
// list cannot be read or nothing is left to process. The folders a scan
// could not read are added to *unreadable.
bool GatherFiles(Arguments& args, std::FILE* in, const LanguageCatalog& texts, std::string* error,
                 std::vector<UnreadableFolder>* unreadable) {
  if (!args.filesFrom.empty()) {
    std::string list;
    if (args.filesFrom == "-") {
      char buffer[65536];
      size_t n;
      while (in != nullptr && (n = std::fread(buffer, 1, sizeof(buffer), in)) > 0) {
        list.append(buffer, n);
      }
    } else if (Message notRead; !ReadWholeFile(args.filesFrom, &list, &notRead)) {
      *error = MessageText(texts, notRead);
      return false;
    }
    const char separator = args.nullSeparated ? '\0' : '\n';
    size_t start = 0;
    while (start < list.size()) {
      size_t end = list.find(separator, start);
      if (end == std::string::npos) end = list.size();
      std::string path = list.substr(start, end - start);
      // A list written on Windows ends its lines with CR LF.
      if (!args.nullSeparated && !path.empty() && path.back() == '\r') path.pop_back();
      if (!path.empty()) args.files.push_back(std::move(path));
      start = end + 1;
    }
  } else if (args.nullSeparated) {
    *error = texts.Message(key::kNullWithoutFilesFrom);
    return false;
  }
  if (args.folders.empty() && (!args.includes.empty() || args.recursive)) {
    *error = texts.Message(key::kIncludeWithoutFolder);
    return false;
  }
  std::string patterns;
  for (const std::string& pattern : args.includes) patterns += pattern + ";";
  if (patterns.empty()) patterns = "*.txt";
  for (const std::string& folder : args.folders) {
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      *error = texts.Message(key::kNotAFolder, {folder});
      return false;
    }
    std::vector<std::string> found =
        CollectFolderFiles(folder, patterns, args.recursive, nullptr, unreadable);
    args.files.insert(args.files.end(), std::make_move_iterator(found.begin()),
                      std::make_move_iterator(found.end()));
  }
  if (args.files.empty()) {
    *error = texts.Message(args.folders.empty() && args.filesFrom.empty() ? key::kNoFilesGiven
                                                                          : key::kNoFilesToProcess);
    return false;
  }
  return true;
}

std::vector<CheckedPath> CheckedPaths(const Arguments& args) {
  std::vector<CheckedPath> rows;
  for (const std::string& path : args.files) rows.push_back({path, true});
  return rows;
}

int ExportDefinitions(const Arguments& args, CliHost& host, const LanguageCatalog& texts,
                      std::FILE* err) {
  DefinitionList definitions;
  if (const int status = AddDefinitions(args, definitions, host, texts); status != kExitOk) {
    return status;
  }
  std::vector<DefinitionRecord> records;
  for (size_t d = 0; d < definitions.Size(); d++) {
    records.push_back({definitions.Find(d), definitions.Replace(d)});
  }
  Message error;
  if (!SaveDefinitionFile(args.output, records, &error)) {
    std::fprintf(err, "strbatch-cli: %s\n", MessageText(texts, error).c_str());
    return kExitFailure;
  }
  return kExitOk;
}

// The line sort changes files like the batch commands, so it asks first
// the same way (and takes -y and -b like them).
int SortFiles(Arguments& args, CliHost& host, const LanguageCatalog& texts,
              UndoJournal& journal, std::FILE* out, std::FILE* err) {
  ParseEncodingSetting(args.encoding, &args.sort.encoding);
  // A table named but unreadable would sort every file by the wrong rules.
  std::vector<Message> problems;
  LoadSortTables(args.sort.equalValueTablePath, args.sort.noSortTablePath, args.sort.encoding,
                 &problems);
  if (!problems.empty()) {
    for (const Message& problem : problems) {
      host.Print("", texts.Message(key::kSortTableRefused, {MessageText(texts, problem)}));
    }
    return kExitUsage;
  }
  args.sort.language = texts.CurrentLanguage();
  CommandReport report;
  {
    StopSignals signals;
    report = SortLines({CheckedPaths(args), args.sort, args.backup, journal, &journal}, host);
  }
  if (report.end == CommandEnd::kRefused) return ExitStatus(report, host, texts, err);
  std::fprintf(out, "%zu\n", report.done);
  return ExitStatus(report, host, texts, err);
}

// The subcommands, as DefineCommands made them; parsed() tells which one ran.
struct Commands {
  CLI::App* replace;
  CLI::App* apply;
  CLI::App* find;
  CLI::App* rename;
  CLI::App* convert;
  CLI::App* restore;
  CLI::App* clearBackups;
  CLI::App* sort;
  CLI::App* exportDefs;
  CLI::App* undo;
};

// Help in the user's language: CLI11's headings, the name of a value
// ("TEXT") and the names of the arguments come from the catalog.
class CatalogFormatter : public CLI::Formatter {
 public:
  explicit CatalogFormatter(const LanguageCatalog& texts)
      : valueName_(Say(texts, key::kHelpTextValueName)),
        argumentNames_{{"files", Say(texts, key::kHelpFilesArgumentName)},
                       {"plan", Say(texts, key::kHelpPlanArgumentName)},
                       {"output", Say(texts, key::kHelpOutputArgumentName)}} {
    label("Usage", Say(texts, key::kHelpUsageLabel));
    label("OPTIONS", Say(texts, key::kHelpOptionsLabel));
    label("SUBCOMMAND", Say(texts, key::kHelpSubcommandLabel));
    label("Positionals", Say(texts, key::kHelpPositionalsLabel));
    label("REQUIRED", Say(texts, key::kHelpRequiredLabel));
  }

  // An argument's name as the user reads it ("files" is "文件" in Chinese).
  std::string ArgumentName(const std::string& name) const {
    const auto found = argumentNames_.find(name);
    return found == argumentNames_.end() || found->second.empty() ? name : found->second;
  }

  std::string make_option_name(const CLI::Option* opt, bool is_positional) const override {
    return is_positional ? ArgumentName(opt->get_name(true, false))
                         : CLI::Formatter::make_option_name(opt, false);
  }
  std::string make_option_usage(const CLI::Option* opt) const override {
    std::string usage = CLI::Formatter::make_option_usage(opt);
    const std::string name = opt->get_name(true, false);
    const size_t at = usage.find(name);
    if (at != std::string::npos) usage.replace(at, name.size(), ArgumentName(name));
    return usage;
  }
  // As CLI11 lays an option out, but with the name's column measured in
  // what a terminal shows: a Chinese character takes two columns, not the
  // three bytes it has in UTF-8.
  std::string make_option(const CLI::Option* opt, bool is_positional) const override {
    const std::string name = "  " + make_option_name(opt, is_positional) + make_option_opts(opt);
    size_t columns = 0;
    for (unsigned char c : name) {
      if ((c & 0xC0) != 0x80) columns += c >= 0xE0 ? 2 : 1;
    }
    std::string line = name;
    const std::string description = make_option_desc(opt);
    if (!description.empty()) {
      const std::string indent(column_width_, ' ');
      line += columns >= column_width_ ? "\n" + indent : std::string(column_width_ - columns, ' ');
      for (const char c : description) {
        line += c;
        if (c == '\n') line += indent;
      }
    }
    return line + "\n";
  }
  std::string make_option_opts(const CLI::Option* opt) const override {
    std::string opts = CLI::Formatter::make_option_opts(opt);
    // Every value here is text; its name leads, before any allowed values.
    if (!valueName_.empty() && opts.rfind(" TEXT", 0) == 0) opts.replace(1, 4, valueName_);
    return opts;
  }

 private:
  std::string valueName_;
  std::map<std::string, std::string> argumentNames_;
};

// A subcommand whose help flag and option group speak the user's language
// (CLI11 makes a subcommand's help flag before it copies the group's name).
CLI::App* AddCommand(CLI::App& app, const char* name, const char* description,
                     const LanguageCatalog& texts) {
  CLI::App* command = app.add_subcommand(name, Say(texts, description));
  command->set_help_flag("-h,--help", Say(texts, key::kHelpHelpOption));
  return command;
}

// The program's options and subcommands, each with the options it takes and
// its help in the user's language. The commands that take definitions
// describe -d, which the parser never sees, in their footer.
Commands DefineCommands(CLI::App& app, Arguments& args, const LanguageCatalog& texts) {
  app.formatter(std::make_shared<CatalogFormatter>(texts));
  app.option_defaults()->group(Say(texts, key::kHelpOptionsGroup));
  app.group(Say(texts, key::kHelpSubcommandsGroup));
  app.set_help_flag("-h,--help", Say(texts, key::kHelpHelpOption));
  app.set_version_flag("--version", VersionLine("strbatch-cli"),
                       Say(texts, key::kHelpVersionOption));
  AddLanguageOption(&app, args, texts);
  app.require_subcommand(1);
  Commands commands{};
  commands.replace = AddCommand(app, "replace", key::kHelpReplaceCommand, texts);
  AddBatchOptions(commands.replace, args, true, true, texts);
  commands.replace->add_flag("-n,--dry-run", args.dryRun, Say(texts, key::kHelpDryRunOption));
  AddPartsOption(commands.replace, args, texts);
  commands.apply = AddCommand(app, "apply", key::kHelpApplyCommand, texts);
  commands.apply->add_option("plan", args.plan, Say(texts, key::kHelpPlanPositional))->required();
  AddYesOption(commands.apply, args, texts);
  AddBackupOption(commands.apply, args, texts);
  AddLanguageOption(commands.apply, args, texts);
  AddNoUndoOption(commands.replace, args, texts);
  AddNoUndoOption(commands.apply, args, texts);
  commands.find = AddCommand(app, "find", key::kHelpFindCommand, texts);
  commands.find->add_option("-r,--report", args.report, Say(texts, key::kHelpReportOption));
  AddBatchOptions(commands.find, args, true, false, texts);
  AddPartsOption(commands.find, args, texts);
  commands.rename = AddCommand(app, "rename", key::kHelpRenameCommand, texts);
  AddBatchOptions(commands.rename, args, true, true, texts);
  AddNoUndoOption(commands.rename, args, texts);
  commands.convert = AddCommand(app, "convert", key::kHelpConvertCommand, texts);
  std::vector<std::string> conversions;
  conversions.reserve(std::size(kConversions));
  for (const auto& conversion : kConversions) conversions.push_back(conversion.first);
  commands.convert->add_option("--to", args.convertTo, Say(texts, key::kHelpConvertToOption))
      ->required()
      ->check(OneOf(conversions, texts));
  AddBatchOptions(commands.convert, args, false, true, texts);
  AddNoUndoOption(commands.convert, args, texts);
  commands.restore = AddCommand(app, "restore", key::kHelpRestoreCommand, texts);
  AddFilesOption(commands.restore, args, texts);
  AddNoUndoOption(commands.restore, args, texts);
  commands.clearBackups = AddCommand(app, "clear-backups", key::kHelpClearBackupsCommand, texts);
  AddFilesOption(commands.clearBackups, args, texts);
  AddNoUndoOption(commands.clearBackups, args, texts);
  CLI::App* sort = commands.sort = AddCommand(app, "sort", key::kHelpSortCommand, texts);
  AddYesOption(sort, args, texts);
  AddBackupOption(sort, args, texts);
  sort->add_flag("--case", args.sort.caseSensitive, Say(texts, key::kHelpSortCaseOption));
  sort->add_flag("--width", args.sort.widthSensitive, Say(texts, key::kHelpSortWidthOption));
  sort->add_flag("--spaces", args.sort.countSpaces, Say(texts, key::kHelpSortSpacesOption));
  sort->add_flag("--reverse", args.sort.reverseOutput, Say(texts, key::kHelpSortReverseOption));
  sort->add_flag("--unique", args.sort.filterDuplicates, Say(texts, key::kHelpSortUniqueOption));
  sort->add_option("--equal", args.sort.equalValueTablePath, Say(texts, key::kHelpSortEqualOption));
  sort->add_option("--ignore", args.sort.noSortTablePath, Say(texts, key::kHelpSortIgnoreOption));
  AddEncodingOption(sort, args, texts);
  AddFilesOption(sort, args, texts);
  AddNoUndoOption(sort, args, texts);
  CLI::App* undo = commands.undo = AddCommand(app, "undo", key::kHelpUndoCommand, texts);
  AddYesOption(undo, args, texts);
  undo->add_flag("-l,--list", args.undoList, Say(texts, key::kHelpUndoListOption));
  undo->add_option("--run", args.undoRun, Say(texts, key::kHelpUndoRunOption))
      ->check([&texts](const std::string& id) {
        return id.empty() ? Say(texts, key::kEmptyRunId) : std::string();
      });
  AddLanguageOption(undo, args, texts);
  commands.exportDefs = AddCommand(app, "export-defs", key::kHelpExportDefinitionsCommand, texts);
  AddDefinitionOptions(commands.exportDefs, args, texts);
  commands.exportDefs->add_option("output", args.output, Say(texts, key::kHelpOutputPositional))
      ->required();
  AddLanguageOption(commands.exportDefs, args, texts);
  for (CLI::App* command :
       {commands.replace, commands.find, commands.rename, commands.exportDefs}) {
    command->footer(Say(texts, key::kHelpDefinitionsFooter));
  }
  // Set last, so that the commands do not take it over.
  app.footer(Say(texts, key::kHelpPlanFooter) + "\n\n" + Say(texts, key::kHelpExitStatusFooter));
  return commands;
}

// The options of a batch run from the command line; of the settings file,
// only the office part limit.
Options BatchOptions(const Arguments& args, const LanguageCatalog& texts) {
  Options options;
  options.partLimitMegabytes = LoadSettings(SettingsFilePath()).partLimitMegabytes;
  options.Case = !args.ignoreCase;
  options.Advance = args.advanced;
  options.language = texts.CurrentLanguage();
  options.autoBackup = args.backup;
  options.reportOutput = !args.report.empty();
  ParseEncodingSetting(args.encoding, &options.encoding);
  options.allParts = args.parts == "all";
  return options;
}

// Where a place of an office document lies, for a hunk's header.
std::string PlaceText(const TextPlace& place, OfficeKind kind, const LanguageCatalog& texts) {
  static constexpr struct {
    OfficeStory story;
    const char* key;
  } kStories[] = {
      {OfficeStory::kHeadersFooters, key::kStoryHeadersFooters},
      {OfficeStory::kFootnotes, key::kStoryFootnotes},
      {OfficeStory::kEndnotes, key::kStoryEndnotes},
      {OfficeStory::kComments, key::kStoryComments},
      {OfficeStory::kTextBoxes, key::kStoryTextBoxes},
      {OfficeStory::kCellComments, key::kStoryCellComments},
      {OfficeStory::kSheetNames, key::kStorySheetNames},
      {OfficeStory::kSlideNotes, key::kStorySlideNotes},
  };
  std::string story;
  for (const auto& entry : kStories) {
    if (entry.story == place.story) {
      story = texts.Text(entry.key) + (texts.CurrentLanguage() == Language::English ? ", " : "，");
    }
  }
  if (place.story == OfficeStory::kCellComments) {
    return story + texts.Message(key::kPlaceComment,
                                 {std::to_string(place.sheet), std::to_string(place.column)});
  }
  if (place.story == OfficeStory::kSheetNames) {
    return story + texts.Message(key::kPlaceSheet, {std::to_string(place.sheet)});
  }
  switch (kind) {
    case OfficeKind::Word:
      return story + texts.Message(key::kPlaceParagraph, {std::to_string(place.paragraph)});
    case OfficeKind::Excel:
      return story + texts.Message(key::kPlaceCell, {std::to_string(place.sheet),
                                                     std::to_string(place.row),
                                                     std::to_string(place.column)});
    case OfficeKind::PowerPoint:
      return story + texts.Message(key::kPlaceShape,
                                   {std::to_string(place.slide), std::to_string(place.shape)});
    case OfficeKind::None:
      break;
  }
  return std::string();
}

void PrintUnifiedDiff(const FilePreview& file, const LanguageCatalog& texts, std::FILE* out) {
  if (file.IsDocument()) {
    std::fprintf(out, "%s\n", texts.Message(key::kOfficeDocumentNote, {file.path}).c_str());
  } else if (file.encoding != FileEncoding::Utf8) {
    std::fprintf(
        out, "%s\n",
        texts.Message(key::kEncodingNote, {file.path, FileEncodingName(file.encoding)}).c_str());
  }
  PlaceFinder places(file.original, file.kind);
  std::function<std::string(size_t)> placeLabel;
  if (file.IsDocument()) {
    placeLabel = [&](size_t offset) { return PlaceText(places.At(offset), file.kind, texts); };
  }
  const std::string diff =
      UnifiedDiff(file.original, file.result, FileLineBlocks(file), *file.codePage,
                  "a/" + file.path, "b/" + file.path, file.kind, placeLabel);
  std::fwrite(diff.data(), 1, diff.size(), out);
}

// Replace, find, rename or convert: one run of the batch driver over the
// files and definitions of the command line. A replace with --dry-run
// writes nothing and shows what it would write.
int RunBatchCommand(const Commands& commands, const Arguments& args,
                    const LanguageCatalog& texts, CliHost& host, UndoJournal& journal,
                    std::FILE* out, std::FILE* err) {
  FileList files;
  DefinitionList definitions;
  for (const std::string& path : args.files) files.Append(path, true);
  if (const int status = AddDefinitions(args, definitions, host, texts); status != kExitOk) {
    return status;
  }

  // Office documents go through LibreOffice, started only when the first
  // one comes up and ended with the run.
  std::unique_ptr<OfficeBridge> office = MakeLibreOfficeBridge(journal);
  const bool dryRun = commands.replace->parsed() && args.dryRun;
  std::map<size_t, std::string> previews;
  CommandReport report;
  {
    StopSignals signals;
    if (dryRun) {
      ReplacePreview preview;
      preview.onFile = [&](FilePreview& file) {
        if (args.json) {
          previews[file.row] = PlanFileMembers(file);
        } else {
          PrintUnifiedDiff(file, texts, out);
        }
      };
      report = ComputePreview({files, definitions, BatchOptions(args, texts), office.get()},
                              preview, host);
    } else {
      BatchRequest request{BatchCommand::kReplace, files, definitions, BatchOptions(args, texts)};
      if (commands.find->parsed()) request.command = BatchCommand::kFind;
      if (commands.rename->parsed()) request.command = BatchCommand::kRename;
      if (commands.convert->parsed()) {
        request.command = BatchCommand::kConvert;
        request.conversion = kConversions.at(args.convertTo);
      }
      request.office = office.get();
      request.journal = &journal;
      // Everything on standard output is UTF-8, the report too.
      request.reportInUtf8 = args.report == "-";
      report = strbatch::RunBatchCommand(request, host);
    }
  }
  if (report.end == CommandEnd::kFailed) {
    // An office call that failed ends the run; the files before it are done.
    std::fprintf(err, "strbatch-cli: %s\n", MessageText(texts, report.failure).c_str());
    return kExitFailure;
  }
  if (report.end == CommandEnd::kRejected || report.end == CommandEnd::kRefused) {
    return ExitStatus(report, host, texts, err);
  }
  const bool stopped = report.end == CommandEnd::kStopped;
  const size_t lastRow = report.lastRow;
  if (stopped) {
    std::fprintf(err, "strbatch-cli: %s\n",
                 texts
                     .Message(key::kRunStoppedAfterFile,
                              {std::to_string(lastRow), std::to_string(files.Size())})
                     .c_str());
  }
  // The diff is the whole output of a dry run without --json.
  if (!dryRun || args.json) {
    PrintResults(files, definitions, args, commands.replace->parsed(), stopped,
                 args.report == "-" ? err : out,
                 dryRun ? &previews : nullptr);
  }
  return ExitStatus(report, host, texts, err);
}

// apply PLAN: writes the changes the plan lists, file by file; a file whose
// bytes are no longer those the plan was made from is refused and left as
// it is. A plan that is not of the plan's shape is refused whole.
int ApplyPlan(const Arguments& args, const LanguageCatalog& texts, CliHost& host,
              UndoJournal& journal, std::FILE* out, std::FILE* err) {
  std::string text;
  Message error;
  Plan plan;
  if (!ReadWholeFile(args.plan, &text, &error) || !ReadPlan(text, &plan, &error)) {
    host.Warn(args.plan, error);
    return kExitUsage;
  }
  const CommandReport report = strbatch::ApplyPlan({plan, args.backup, journal, &journal}, host);
  for (const auto& [path, changes] : report.written) {
    std::fprintf(out, "%zu\t%s\n", changes, path.c_str());
  }
  return ExitStatus(report, host, texts, err);
}

// The size of a journal for people: "12 KiB".
std::string SizeText(uint64_t bytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB"};
  size_t unit = 0;
  while (bytes >= 10240 && unit + 1 < std::size(units)) {
    bytes >>= 10;
    unit++;
  }
  return std::to_string(bytes) + " " + units[unit];
}

// undo: --list prints one line per journal, oldest first: ID, when,
// command, files changed, old bytes kept, whether it stopped short, and
// whether (or how far) it was taken back.
int UndoCommand(const Arguments& args, const LanguageCatalog& texts, CliHost& host,
                UndoJournal& journal, std::FILE* out, std::FILE* err) {
  if (args.undoList) {
    for (const JournalRun& run : ListJournals(journal.Root())) {
      const time_t seconds = static_cast<time_t>(run.startNs / 1000000000);
      struct tm local;
      localtime_r(&seconds, &local);
      char when[32];
      std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
      std::string state = run.finished && !run.partial ? "" : "\tstopped";
      if (!run.undoneBy.empty()) {
        state += (run.partlyUndone ? "\tpartly undone by " : "\tundone by ") + run.undoneBy;
      }
      std::fprintf(out, "%s\t%s\t%s\t%zu files\t%s%s\n", run.id.c_str(), when,
                   run.command.c_str(), run.files, SizeText(run.bytes).c_str(), state.c_str());
    }
    return kExitOk;
  }
  UndoOutcome outcome;
  CommandReport report;
  {
    StopSignals signals;
    report = Undo(journal, args.undoRun, host, &outcome);
  }
  if (report.end != CommandEnd::kFinished && report.end != CommandEnd::kStopped) {
    return ExitStatus(report, host, texts, err);
  }
  std::fprintf(out, "%zu\t%s\n", outcome.restored, outcome.undoneId.c_str());
  if (g_stopSignal.load() != 0) return StopSignals::ExitStatus();
  // A run partly undone has warned of each file it left.
  return outcome.end == UndoOutcome::End::kDone ? ExitStatus(report, host, texts, err)
                                                 : kExitFailure;
}

// A rewriter that counts the changes that reached the disk (rewrites
// committed, files moved or removed), so that an unexpected error can tell
// whether the command had changed anything yet.
class CountingRewriter : public FileRewriter {
 public:
  explicit CountingRewriter(FileRewriter& inner) : inner_(inner) {}

  size_t changes = 0;

  std::unique_ptr<RewriteSession> Begin(const std::string& path, Message* error) override {
    std::unique_ptr<RewriteSession> session = inner_.Begin(path, error);
    if (session == nullptr) return nullptr;
    return std::make_unique<Session>(std::move(session), changes);
  }
  bool Move(const std::string& from, const std::string& to, Message* error) override {
    return Count(inner_.Move(from, to, error));
  }
  bool Remove(const std::string& path, Message* error) override {
    return Count(inner_.Remove(path, error));
  }
  // Backup copies are changes on disk too.
  FileRewriter& Plain() override { return *this; }

 private:
  class Session : public RewriteSession {
   public:
    Session(std::unique_ptr<RewriteSession> inner, size_t& changes)
        : inner_(std::move(inner)), changes_(changes) {}
    bool Write(const char* data, size_t size) override { return inner_->Write(data, size); }
    void SetMode(unsigned mode) override { inner_->SetMode(mode); }
    bool Watch(ReplaceWatcher* watcher) override { return inner_->Watch(watcher); }
    bool Commit(Message* error) override {
      if (!inner_->Commit(error)) return false;
      changes_++;
      return true;
    }

   private:
    std::unique_ptr<RewriteSession> inner_;
    size_t& changes_;
  };

  bool Count(bool done) {
    if (done) changes++;
    return done;
  }

  FileRewriter& inner_;
};

// A report is written when the find has ended; a folder that cannot take it
// is told before the run, not after it.
bool ReportFolderTakesIt(const std::string& report, const LanguageCatalog& texts,
                         std::string* error) {
  if (report.empty() || report == "-") return true;
  const size_t slash = report.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : report.substr(0, slash);
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = texts.Message(key::kReportFolderMissing, {report, folder});
    return false;
  }
  if (stat(report.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    *error = texts.Message(key::kReportIsFolder, {report});
    return false;
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    *error =
        texts.Message(key::kReportCannotBeWritten, {report, folder, OsErrorText(texts, errno)});
    return false;
  }
  return true;
}

// The value of the last --lang before "--", so that --help and the usage
// errors speak the language the rest of the command will (empty: none).
std::string LanguageOnCommandLine(const std::vector<std::string>& args) {
  std::string lang;
  for (size_t i = 0; i < args.size() && args[i] != "--"; i++) {
    if (args[i] == "--lang" && i + 1 < args.size()) {
      lang = args[++i];
    } else if (args[i].rfind("--lang=", 0) == 0) {
      lang = args[i].substr(7);
    }
  }
  return lang;
}

template <typename Kind>
bool IsA(const CLI::ParseError& error) {
  return dynamic_cast<const Kind*>(&error) != nullptr;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Whether text begins with start; *rest is what follows it.
bool After(std::string_view text, std::string_view start, std::string_view* rest) {
  if (text.substr(0, start.size()) != start) return false;
  *rest = text.substr(start.size());
  return true;
}

// A usage error of the parser in the user's language. CLI11 gives its
// errors as English text only, so each kind it makes is recognised by its
// shape and said again from the catalog; a shape not known here is still
// told, inside a sentence of the user's language.
std::string UsageErrorText(const CLI::ParseError& error, const CLI::App& app,
                           const std::vector<std::string>& args, const LanguageCatalog& texts) {
  std::string what = error.what();
  const auto& names = static_cast<const CatalogFormatter&>(*app.get_formatter());
  const bool commandGiven = !app.get_subcommands().empty();
  if (IsA<CLI::RequiredError>(error) && !commandGiven) {
    // The first word that is not an option names the command: one that is
    // not known is told as such, not as a missing command.
    for (size_t i = 0; i < args.size(); i++) {
      if (args[i] == "--lang") {
        i++;
      } else if (!args[i].empty() && args[i][0] != '-') {
        return texts.Message(key::kNotACommand, {args[i]});
      }
    }
    return Say(texts, key::kCommandRequired);
  }
  std::string_view rest;
  if (IsA<CLI::RequiredError>(error) && EndsWith(what, " is required")) {
    const std::string name = what.substr(0, what.size() - std::string_view(" is required").size());
    return texts.Message(key::kArgumentRequired, {names.ArgumentName(name)});
  }
  if (IsA<CLI::ExtrasError>(error)) {
    if (After(what, "The following argument was not expected: ", &rest)) {
      return texts.Message(key::kUnexpectedArgument, {std::string(rest)});
    }
    if (After(what, "The following arguments were not expected: ", &rest)) {
      return texts.Message(key::kUnexpectedArguments, {std::string(rest)});
    }
  }
  // "--name: 1 required TEXT missing": the option is the first word.
  if (IsA<CLI::ArgumentMismatch>(error) && what.find(" required ") != std::string::npos &&
      EndsWith(what, " missing")) {
    const size_t colon = what.find(": ");
    if (colon != std::string::npos && what.find(' ') > colon) {
      return texts.Message(key::kNeedsValue, {what.substr(0, colon)});
    }
  }
  // The validators' own messages are the catalog's already.
  if (IsA<CLI::ValidationError>(error)) return what;
  return texts.Message(key::kCommandLineUnreadable, {what});
}

int RunCommandLine(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err,
                   FileRewriter& disk) {
  Arguments args;
  std::vector<std::string> raw(argv + 1, argv + argc);
  std::string error;
  const bool definitionsRead = ExtractDefinitions(raw, &args.definitions, &error);
  const LanguageCatalog texts(ChooseMessageLanguage(LanguageOnCommandLine(raw)));
  if (!definitionsRead) {
    std::fprintf(err, "strbatch-cli: %s\n",
                 texts.Message(key::kDefinitionNeedsTwoStrings, {error}).c_str());
    return kExitUsage;
  }
  CLI::App app{Say(texts, key::kHelpProgram), "strbatch-cli"};
  const Commands commands = DefineCommands(app, args, texts);
  std::vector<std::string> reversed(raw.rbegin(), raw.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForVersion& e) {
    std::fprintf(out, "%s\n", e.what());
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {
      std::fprintf(out, "%s", app.help().c_str());
      return kExitOk;
    }
    std::fprintf(err, "strbatch-cli: %s\n", UsageErrorText(e, app, raw, texts).c_str());
    return kExitUsage;
  }
  // -d is taken before the parser sees it, so a command that has no use for
  // definitions refuses them here rather than ignore them.
  if (!args.definitions.empty() && !commands.replace->parsed() && !commands.find->parsed() &&
      !commands.rename->parsed() && !commands.exportDefs->parsed()) {
    std::fprintf(
        err, "strbatch-cli: %s\n",
        texts.Message(key::kTakesNoDefinitions, {app.get_subcommands().front()->get_name()})
            .c_str());
    return kExitUsage;
  }

  CliHost host(args, texts, in, out, err);
  // Export, apply and undo take no files of the batch kind.
  if (!commands.exportDefs->parsed() && !commands.apply->parsed() && !commands.undo->parsed()) {
    std::vector<UnreadableFolder> unreadable;
    const bool gathered = GatherFiles(args, in, texts, &error, &unreadable);
    // The run goes on with what could be read; the status says it is not all.
    for (const UnreadableFolder& folder : unreadable) {
      host.Warn(folder.path, texts.Message(key::kFolderNotRead, {OsErrorText(texts, folder.osError)}));
    }
    if (!gathered || !ReportFolderTakesIt(args.report, texts, &error)) {
      std::fprintf(err, "strbatch-cli: %s\n", error.c_str());
      return kExitUsage;
    }
  }
  if (commands.exportDefs->parsed()) return ExportDefinitions(args, host, texts, err);
  // Where there is no private directory the journal cannot start, and each
  // command that changes files says so.
  const std::unique_ptr<UndoJournal> undoJournal =
      MakeUndoJournal(SettingsFilePath(), args.noUndo, disk);
  UndoJournal& journal = *undoJournal;
  if (commands.undo->parsed()) return UndoCommand(args, texts, host, journal, out, err);
  if (commands.restore->parsed() || commands.clearBackups->parsed()) {
    const CommandReport report = strbatch::RunBackupCommand(
        {commands.restore->parsed(), CheckedPaths(args), journal, &journal, texts}, host);
    if (report.end == CommandEnd::kRefused) return ExitStatus(report, host, texts, err);
    std::fprintf(out, "%zu\n", report.done);
    return host.warnings > 0 ? kExitFailure : kExitOk;
  }
  if (commands.sort->parsed()) return SortFiles(args, host, texts, journal, out, err);
  if (commands.apply->parsed()) return ApplyPlan(args, texts, host, journal, out, err);
  return RunBatchCommand(commands, args, texts, host, journal, out, err);
}

}  // namespace

// The one place where an error nobody expected ends the command: it is
// told, and the status says whether files were changed before it.
int RunCli(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  CountingRewriter disk(DefaultFileRewriter());
  std::string what;
  bool known = true;
  try {
    return RunCommandLine(argc, argv, in, out, err, disk);
  } catch (const std::exception& error) {
    what = error.what();
  } catch (...) {
    known = false;
  }
  std::fflush(out);
  const LanguageCatalog texts(
      ChooseMessageLanguage(LanguageOnCommandLine(std::vector<std::string>(argv + 1, argv + argc))));
  if (!known) what = texts.Message(key::kUnknownException);
  if (disk.changes == 0) {
    std::fprintf(err, "strbatch-cli: %s\n",
                 texts.Message(key::kInternalErrorNothingChanged, {what}).c_str());
    return kExitUsage;
  }
  std::fprintf(
      err, "strbatch-cli: %s\n",
      texts.Message(key::kInternalErrorFilesChanged, {what, std::to_string(disk.changes)}).c_str());
  return kExitFailure;
}

}  // namespace strbatch
