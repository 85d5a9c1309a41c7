// The per-file workers: one definition applied to the text of one work file.
// The text is held in memory across the definitions of a file (each
// definition sees what the one before it wrote) and written back once, all
// or nothing, by the caller. The search covers the text before its first NUL
// byte; the bytes from that NUL on are kept as they are.
#ifndef STRBATCH_BATCH_REPLACE_WORKER_H_
#define STRBATCH_BATCH_REPLACE_WORKER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/code_page.h"
#include "base/safe_file.h"

namespace strbatch {

// Where a worker's occurrences go besides the text: the match list, the
// find report, the open office document. The worker hands them over in the
// order found; an advanced definition only once its whole search is done.
// The sink may refuse a match (a document's character the code page holds
// only as a stand-in): it is neither counted, nor replaced, nor handed on,
// and the search goes on from the character after its start.
class OccurrenceSink {
 public:
  virtual ~OccurrenceSink() = default;
  // The occurrences of one definition follow, in this searched text (valid
  // for the length of the call only). Comes before the definition's search.
  virtual void BeginDefinition(std::string_view searchedText) = 0;
  // Whether Admits may refuse anything of the definition begun last. Asked
  // once per definition: a sink that admits everything costs no call per
  // match.
  virtual bool Restricts() const { return false; }
  // Whether [start, start + length) of the searched text may be an
  // occurrence.
  virtual bool Admits(size_t start, size_t length) const {
    (void)start;
    (void)length;
    return true;
  }
  // One occurrence: its byte offset and length in the searched text and its
  // replacement text.
  virtual void Occurrence(size_t start, size_t length, std::string_view replacement) = 0;
};

// What a worker reads besides the definition: options and batch state.
struct WorkerContext {
  bool caseSensitive = true;           // the Case option
  bool changesExpected = false;        // text may be changed
  long long currentFileNumber = 1;     // for the file-number template item
  OccurrenceSink* sink = nullptr;      // where occurrences go besides the text, if anywhere
  const CodePage* codePage = &CodePage::Process();
  uint64_t searchSteps = 0;            // the engine's step bound; 0: its default
  // A plain replacement longer than its find string lists up to this many
  // occurrences to grow the text from the back; beyond it the whole text is
  // moved once and rewritten forwards.
  size_t maxListedOccurrences = size_t{4} << 20;
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

}  // namespace strbatch

#endif  // STRBATCH_BATCH_REPLACE_WORKER_H_
