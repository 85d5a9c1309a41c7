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

#include "app/code_page.h"

namespace strbatch {

// Result codes of Compile; 0 is success.
enum PatternError : int32_t {
  PATTERN_OK = 0,
  // The remaining codes are defined with the compiler.
};

// The result of one search: match bounds and the brace groups, all as byte
// offsets into the text given to Match. A group that took no part has both
// bounds set to kUnset.
class CPatternMatch {
 public:
  static constexpr size_t kUnset = static_cast<size_t>(-1);

  // stackCapacity: initial number of backtrack stack entries.
  explicit CPatternMatch(size_t stackCapacity = 256);

  int GroupCount() const;
  size_t Start() const;
  size_t End() const;
  // Group i, counting from 0 in the order of the opening braces.
  size_t GroupStart(int i) const;
  size_t GroupEnd(int i) const;
};

// Text prepared once for any number of searches: a case-insensitive pattern
// searches a folded copy made here, so repeated searches over one file do
// not fold it again. Positions reported are positions in the original text.
class PatternText {
 public:
  PatternText(const class CPattern& pattern, std::string_view text);
};

class CPattern {
 public:
  explicit CPattern(const CodePage& codePage = CodePage::Process());

  // Compiles expression; caseSensitive false folds ASCII letters of the
  // expression and of searched text. Returns PATTERN_OK or an error code.
  PatternError Compile(std::string_view expression, bool caseSensitive);
  PatternError LastError() const;

  // Searches text starting at offset from, which counts as the start of the
  // text ("^" anchors there; nothing before it is looked at). The text ends
  // at its size or at its first NUL byte. True on a match; *endOut (when
  // given) receives the offset just past the match.
  bool Match(const PatternText& text, size_t from, CPatternMatch& match,
             size_t* endOut = nullptr) const;

  // A readable listing of the program, for tests and debugging.
  std::string Dump() const;
};

}  // namespace strbatch

#endif  // STRBATCH_PATTERN_PATTERN_H_
