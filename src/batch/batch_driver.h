// The batch job driver: applies every checked definition, in list order, to
// every checked file, from the top of the file list to the bottom. Four
// commands share it: batch replace, batch find, batch rename and code
// conversion. The driver reaches the user only through its BatchHost.
#ifndef STRBATCH_BATCH_BATCH_DRIVER_H_
#define STRBATCH_BATCH_BATCH_DRIVER_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/code_page.h"
#include "app/safe_file.h"
#include "app/text_encoding.h"
#include "batch/batch_host.h"
#include "batch/replace_worker.h"
#include "lists/definition_list.h"
#include "lists/file_list.h"

namespace strbatch {

class OfficeBridge;

enum class BatchMode { Content = 0, Rename = 1 };

// The options of the main window, copied in at the start of every command.
struct BatchOptions {
  int Case = 1;          // 1: case-sensitive matching
  int Advance = 0;       // 1: advanced expressions and templates
  int AltCode = 0;       // code conversion 0 (none) to 6
  int language = 0;      // interface language: 0 Chinese, 1 English
  bool reportOutput = false;  // batch find writes the find report
  bool reportUtf8 = false;    // the report is UTF-8 whatever the encoding setting
  bool autoBackup = false;    // back files up before they are processed
  // How files are read: "gbk" reads every file in the process code page.
  EncodingSetting encoding = EncodingSetting::Gbk;
};

// The state of the running batch.
struct BatchState {
  int findMode = 0;
  int changesExpected = 0;
  long long currentFileNumber = 0;
  FindReport* reportFile = nullptr;
};

class BatchRunner {
 public:
  BatchRunner(FileList& files, DefinitionList& definitions, BatchHost& host);

  BatchOptions options;
  BatchState state;

  // Where office documents are opened; none means they yield no text.
  void SetOfficeBridge(OfficeBridge* bridge) { office_ = bridge; }
  // Where rewrites go; tests inject failures here.
  void SetFileRewriter(FileRewriter* rewriter) { rewriter_ = rewriter; }
  void SetCodePage(const CodePage* codePage) { codePage_ = codePage; }
  // The pattern engine's step bound per search (0: its default); tests make
  // it small to see what a search that gives up leaves.
  void SetSearchSteps(uint64_t steps) { searchSteps_ = steps; }

  // The commands of the main window.
  void BatchReplace();
  void BatchFind();
  void BatchRename();
  // altCode 1 GBK to BIG5, 2 GBK to traditional GBK, 3 BIG5 to GBK,
  // 4 GBK to simplified GBK, 5 any encoding to UTF-8, 6 UTF-8 to the
  // process code page; 0 runs an ordinary batch replace.
  void ConvertCode(int altCode);

  void RunBatch(BatchMode mode);

  // After a run: whether a cancel request stopped it, and the number
  // (1-based) of the last file row it had reached by then (0: none).
  bool Stopped() const { return stopped_; }
  size_t LastRowReached() const { return lastRowReached_; }

  // The path of the find report in the private temporary directory, or
  // empty when that directory cannot be used.
  static std::string ReportPath(std::string* error = nullptr);

 private:
  struct Snapshot {
    std::vector<std::string> finds;
    std::vector<std::string> replaces;
  };
  // A definition carried into the encoding of a file; ok flags tell
  // whether every character could be carried.
  struct CarriedDefinition {
    std::string find;
    std::string replace;
    bool findOk = true;
    bool replaceOk = true;
  };
  const CarriedDefinition& Carried(size_t d, const CodePage& codePage);

  bool ComputeChangesExpected() const;
  // The host's cancel request, remembered for Stopped().
  bool Cancelled();
  // The code pages the definitions are worked in during this run.
  std::vector<const CodePage*> RunCodePages(BatchMode mode) const;
  // Compiles every checked advanced definition in every code page of the
  // run; the first that fails is handed to the host and gives false. Also
  // gives a notice for each template that refers to a missing group.
  bool CheckExpressions(BatchMode mode);
  // Runs the steps of one checked file row; false when the run was
  // cancelled before a definition (the file's remaining steps ran).
  void ProcessFile(size_t row, BatchMode mode);
  void MakeBackupStep(const std::string& path);
  void ConvertStep(const std::string& path);
  // Adds n to a decimal count cell.
  static std::string AddToCount(const std::string& cell, int64_t n);

  FileList& files_;
  DefinitionList& definitions_;
  BatchHost& host_;
  OfficeBridge* office_ = nullptr;
  FileRewriter* rewriter_ = &DefaultFileRewriter();
  const CodePage* codePage_ = &CodePage::Process();
  const Snapshot* snapshot_ = nullptr;
  // The definitions carried into other encodings, per code page number,
  // made once per run when a file first needs them.
  std::map<int, std::vector<CarriedDefinition>> carried_;
  std::string textBuffer_;
  uint64_t searchSteps_ = 0;
  bool stopped_ = false;
  size_t lastRowReached_ = 0;
};

}  // namespace strbatch

#endif  // STRBATCH_BATCH_BATCH_DRIVER_H_
