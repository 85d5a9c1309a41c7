// The advanced expression language: CPattern compiles an expression into a
// program for a backtracking machine, and Match searches text with it.
// This header is the engine's whole external interface.
#ifndef STRBATCH_PATTERN_PATTERN_H_
#define STRBATCH_PATTERN_PATTERN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/code_page.h"
#include "pattern/pattern_program.h"

namespace strbatch {

// Result codes of Compile; 0 is success.
enum PatternError : int32_t {
  PATTERN_OK = 0,
  PATTERN_ERR_MEMORY = 1,        // an allocation failed
  PATTERN_ERR_BRACE = 2,         // a "{" group is not closed by "}"
  PATTERN_ERR_PAREN = 3,         // a "(" group is not closed by ")"
  PATTERN_ERR_BRACKET = 4,       // a class without "]", or a range without its high bound
  PATTERN_ERR_ABBREV = 5,        // an abbreviation's expansion cannot be parsed
  PATTERN_ERR_EMPTY_CLASS = 6,   // "[]" or "[^]"
  PATTERN_ERR_GROUP_REF = 7,     // a back-reference to a group not opened before it
  PATTERN_ERR_RANGE = 8,         // a class range whose high bound is below its low bound
  PATTERN_ERR_EMPTY_REPEAT = 9,  // "*", "+", "*?" or "+?" on an atom that can match nothing
  PATTERN_ERR_NO_INPUT = 10,     // no expression text
  PATTERN_ERR_NESTING = 11,      // groups or "!" nested deeper than CPattern::kMaxNesting
  PATTERN_ERR_TOO_LARGE = 12,    // the program would exceed CPattern::kMaxInstructions
};

// The result of one search: match bounds and the brace groups, all as byte
// offsets into the text given to PatternText. A group that took no part has
// both bounds set to kUnset; after a failed search Start and End are kUnset.
class CPatternMatch {
 public:
  static constexpr size_t kUnset = static_cast<size_t>(-1);

  // stackCapacity: initial number of backtrack stack entries.
  explicit CPatternMatch(size_t stackCapacity = 256);

  int GroupCount() const { return groupCount_; }
  size_t Start() const { return start_; }
  size_t End() const { return end_; }
  // Group i, counting from 0 in the order of the opening braces; kUnset for
  // an i out of range.
  size_t GroupStart(int i) const;
  size_t GroupEnd(int i) const;

  // True when the last search ended without a match because it ran into a
  // bound (steps, backtrack stack or memory, see CPattern::SetSearchLimits)
  // rather than because the text holds no match.
  bool LimitReached() const { return limitReached_; }
  // Where the search gave up: the offset of the attempt start it was working
  // on when it ran into a bound, in the same coordinates as Start(); kUnset
  // when it did not give up.
  size_t LimitOffset() const { return limitOffset_; }

 private:
  friend class CPattern;

  void Prepare(int groupCount, int slotCount);

  int groupCount_ = 0;
  size_t start_ = kUnset;
  size_t end_ = kUnset;
  bool limitReached_ = false;
  size_t limitOffset_ = kUnset;
  std::vector<uint32_t> slots_;
  std::vector<uint32_t> groups_;  // start and end of each group, in turn
  std::vector<uint32_t> stack_;   // the backtrack stack; its size is the capacity
};

// Text prepared once for any number of searches: a case-insensitive pattern
// searches a folded copy made here, so repeated searches over one file do
// not fold it again. Positions reported are positions in the original text.
// The text ends at its first NUL byte. The caller keeps text alive and
// unchanged while this object is used.
class PatternText {
 public:
  PatternText(const class CPattern& pattern, std::string_view text);

  // The searched text: the given text up to its first NUL byte.
  std::string_view Text() const { return original_; }

 private:
  friend class CPattern;

  std::string_view original_;
  std::string folded_;
  bool isFolded_ = false;
  bool failed_ = false;  // the folded copy could not be allocated
};

class CPattern {
 public:
  // Groups, parentheses, abbreviations and "!" nested deeper than this give
  // PATTERN_ERR_NESTING, so no expression can exhaust the process stack.
  static constexpr int kMaxNesting = 200;
  // A program longer than this gives PATTERN_ERR_TOO_LARGE (nested "+"
  // repeats double the code at each level).
  static constexpr size_t kMaxInstructions = size_t{1} << 20;
  // Default bounds of one search: the backtrack stack stops growing at
  // kDefaultMaxStackEntries; the step bound is kBaseSteps plus kStepsPerByte
  // for every byte of the searched rest of the text.
  static constexpr size_t kDefaultMaxStackEntries = size_t{1} << 24;
  static constexpr uint64_t kBaseSteps = uint64_t{1} << 28;
  static constexpr uint64_t kStepsPerByte = 128;
  // A search that has taken kMemoSteps steps (or a sixteenth of its step
  // bound, when that is less) while moving its attempt start on by less than
  // one byte per kMemoStepsPerByte steps starts remembering the states it has
  // explored without a match (see SetMemo). The memory of those states is
  // bounded by kMaxMemoBytes; a search that needs more gives up.
  static constexpr uint64_t kMemoSteps = uint64_t{1} << 20;
  static constexpr uint64_t kMemoStepsPerByte = 64;
  static constexpr size_t kMaxMemoBytes = size_t{64} << 20;

  explicit CPattern(const CodePage& codePage = CodePage::Process());

  // Compiles expression (which ends at its first NUL byte); caseSensitive
  // false folds ASCII letters of the expression's literals and of searched
  // text. Returns PATTERN_OK or an error code; after an error the pattern
  // matches nothing.
  PatternError Compile(std::string_view expression, bool caseSensitive);
  PatternError LastError() const { return lastError_; }
  // After a failed Compile, the byte offset in the expression (as given,
  // a leading "^" counted) of what the error is about: the opening bracket
  // of an unclosed group or class, the backslash of a bad back-reference or
  // abbreviation, the repeat sign of an empty repeat, the low bound of a
  // backwards range, the bracket that nests too deep; 0 for errors without
  // a place and after a successful Compile.
  size_t ErrorOffset() const { return errorOffset_; }
  bool CaseSensitive() const { return caseSensitive_; }
  int GroupCount() const { return groupCount_; }

  // Searches text starting at offset from, which counts as the start of the
  // text ("^" anchors there; nothing before it is looked at) and must be a
  // character boundary (the end of an earlier match is one). The text ends
  // at its size or at its first NUL byte. True on a match; *endOut (when
  // given) receives the offset just past the match. A search that runs into
  // its bounds ends without a match and sets match.LimitReached().
  bool Match(const PatternText& text, size_t from, CPatternMatch& match,
             size_t* endOut = nullptr) const;

  // A readable listing of the program, for tests and debugging.
  std::string Dump() const;

  // Bounds of every later search: maxSteps instructions (0: the default,
  // which grows with the text) and maxStackEntries backtrack stack entries.
  void SetSearchLimits(uint64_t maxSteps, size_t maxStackEntries);

  // With false the program is laid out by the basic templates only (from
  // the next Compile on) and every character position is tried in turn,
  // instead of skipping to positions where a match can begin, running
  // repeats of one character in one step and remembering failed states.
  // Results are the same; tests use it to check that.
  void SetShortcuts(bool enabled) { shortcuts_ = enabled; }
  // Finer switches, which take effect only while shortcuts are on. Counting
  // repeats (from the next Compile on): a greedy or lazy repeat of one
  // character item runs in one step with one backtrack entry.
  void SetCountingRepeats(bool enabled) { countingRepeats_ = enabled; }
  // The memo (from the next search on): a search remembers the (instruction,
  // position) states it explored without a match and backs off when it
  // reaches one again, which bounds the time of a program without
  // back-references by text length times program size. By default a search
  // starts it only once it has done much work for its progress (see
  // kMemoSteps); kMemoAlways starts it at once, so tests can exercise it.
  enum MemoUse { kMemoOff, kMemoWhenSlow, kMemoAlways };
  void SetMemo(MemoUse use) { memo_ = use; }

 private:
  friend class PatternText;

  bool Run(std::string_view bytes, size_t from, CPatternMatch& match, size_t* endOut) const;
  // The first attempt position at or after pos (a character boundary) that
  // the prefilter lets through, or bytes.size() when there is none.
  size_t NextCandidate(std::string_view bytes, size_t pos) const;

  CodePage codePage_;
  // Characters of codePage_ are one byte or a lead byte and one more.
  bool doubleByte_;
  PatternError lastError_ = PATTERN_OK;
  size_t errorOffset_ = 0;
  bool caseSensitive_ = true;
  bool anchored_ = false;
  // A hit of the prefilter is a match where the text's characters end with
  // it: the program is literal text (prefilter_.literal), or one character
  // of one byte from a set and literal text (prefilter_.after), without
  // groups.
  bool prefilterExact_ = false;
  int32_t groupCount_ = 0;
  int32_t slotCount_ = 0;
  // Rows of the memo of failed states: the choice points whose outcome
  // depends on nothing but the position; 0 when the program has
  // back-references, whose outcome depends on the groups.
  int32_t memoPoints_ = 0;
  std::vector<PatternInstr> program_;
  std::vector<InstrExtra> extra_;  // one for each instruction
  std::vector<ByteSet> classSets_;
  Prefilter prefilter_;
  bool shortcuts_ = true;
  bool countingRepeats_ = true;
  MemoUse memo_ = kMemoWhenSlow;
  uint64_t maxSteps_ = 0;
  size_t maxStackEntries_ = kDefaultMaxStackEntries;
};

}  // namespace strbatch

#endif  // STRBATCH_PATTERN_PATTERN_H_
