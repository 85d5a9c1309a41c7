// The per-file workers: one definition applied to the text of one work file.
// The text is held in memory across the definitions of a file (each
// definition sees what the one before it wrote) and written back once, all
// or nothing, by the caller. The search covers the text before its first NUL
// byte; the bytes from that NUL on are kept as they are.
#ifndef STRBATCH_BATCH_REPLACE_WORKER_H_
#define STRBATCH_BATCH_REPLACE_WORKER_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/code_page.h"
#include "app/safe_file.h"

namespace strbatch {

class OfficeDocument;

// The find report: one line per occurrence with a non-empty replacement.
class FindReport {
 public:
  FindReport() = default;
  ~FindReport();
  FindReport(const FindReport&) = delete;
  FindReport& operator=(const FindReport&) = delete;

  // Creates (truncates) the report file; false when it cannot be created.
  bool Open(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }
  // Writes the text and "\r\n". A failed write is remembered.
  void WriteLine(std::string_view text);
  // Lines that follow are carried from this code page into UTF-8 before
  // they are written; null writes them as they are.
  void SetSourceCodePage(const CodePage* codePage) { source_ = codePage; }
  // Closes the file; false when any write or the close failed.
  bool Close();

 private:
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  const CodePage* source_ = nullptr;
};

// What a worker reads besides the definition: options and batch state.
struct WorkerContext {
  bool caseSensitive = true;           // the Case option
  bool findMode = false;               // a batch find is running
  bool changesExpected = false;        // text may be changed
  long long currentFileNumber = 1;     // for the file-number template item
  FindReport* report = nullptr;        // open during a batch find with report output
  OfficeDocument* office = nullptr;    // the open office document, if any
  std::string* matchList = nullptr;    // the file row's match-list entry
  const CodePage* codePage = &CodePage::Process();
  uint64_t searchSteps = 0;            // the engine's step bound; 0: its default
};

// The text of a work file and whether a definition has changed it.
struct WorkText {
  std::string bytes;
  bool changed = false;

  // The length of the text before the first NUL byte. The workers keep it
  // up to date, so it is searched for once per file, not per definition.
  size_t SearchedLength();
  void SetSearchedLength(size_t length);

 private:
  size_t cachedFor_ = static_cast<size_t>(-1);  // bytes.size() when cached
  size_t searchedLength_ = 0;
};

// Applies a plain definition (escapes decoded here) and gives the number of
// occurrences. The text is changed only when changesExpected is set.
int64_t ReplaceInTextPlain(WorkText& work, std::string_view find, std::string_view replace,
                           const WorkerContext& context);

// What an advanced definition did to one text.
struct AdvancedResult {
  int64_t count = 0;  // occurrences found (and replaced when changes are expected)
  // The search ran into a bound of the engine (steps or memory) before it
  // reached the end of the text. Then nothing of the definition was applied
  // (no change, no match record, no report line, no office edit) and count
  // is 0, so that a later run never applies it twice to the same text.
  bool gaveUp = false;
  size_t reachedOffset = 0;  // with gaveUp: where the search stood, in the text
};

// Applies an advanced definition: find is an expression, replace a template.
// Gives a count of 0 when the expression does not compile.
AdvancedResult ReplaceInTextAdvanced(WorkText& work, std::string_view find,
                                     std::string_view replace, const WorkerContext& context);

// One definition applied to one file on disk: read whole, replaced, and
// rewritten all-or-nothing when it changed. Gives the number of occurrences,
// or 0 (with a reason in *error) when the file cannot be read or written or
// the search gave up.
int64_t ReplaceInFilePlain(const std::string& path, std::string_view find,
                           std::string_view replace, const WorkerContext& context,
                           std::string* error, FileRewriter& rewriter = DefaultFileRewriter());
int64_t ReplaceInFileAdvanced(const std::string& path, std::string_view find,
                              std::string_view replace, const WorkerContext& context,
                              std::string* error,
                              FileRewriter& rewriter = DefaultFileRewriter());

}  // namespace strbatch

#endif  // STRBATCH_BATCH_REPLACE_WORKER_H_
