// The code generator: lays the tree of pattern_tree.h out as the program of
// the backtracking machine in pattern_matcher.cc (pattern_program.h). Only
// the compiler uses it.
#ifndef STRBATCH_PATTERN_PATTERN_CODEGEN_H_
#define STRBATCH_PATTERN_PATTERN_CODEGEN_H_

#include <cstdint>
#include <vector>

#include "base/code_page.h"
#include "pattern/pattern_analysis.h"
#include "pattern/pattern_program.h"
#include "pattern/pattern_tree.h"

namespace strbatch::pattern_internal {

// Lays the tree out as a program. Every construct that offers a choice
// leaves an instruction index on top of the backtrack stack, so that a back
// off always pops one.
//
// Constructs that offer a choice get a row in the memo of failed states at
// their first instruction (where, as before any instruction that can fail,
// an instruction index is on top of the stack) when what happens from there
// depends on the position alone. Two kinds of places break that and get
// none: the body of a "!", whose states are cut off unexplored when the body
// matches, and the body of a loop that can match empty, whose progress check
// compares with the position where the occurrence began.
//
// Back-references turn both the memo and the follow sets of counting
// repeats off: a path that fails can leave a group's end set (until backing
// off leaves the group) where a back-reference inside the group sees it, so
// every path must run as laid out.
class CodeGenerator {
 public:
  // With counting, repeats of one character item are laid out as counting
  // repeats.
  CodeGenerator(const Tree& tree, const std::vector<FirstBytes>& first,
                std::vector<PatternInstr>* program, std::vector<InstrExtra>* extra,
                std::vector<ByteSet>* classSets, bool caseSensitive, const CodePage& codePage,
                bool counting, bool backrefs)
      : tree_(tree),
        first_(first),
        program_(*program),
        extra_(*extra),
        classSets_(*classSets),
        caseSensitive_(caseSensitive),
        codePage_(codePage),
        counting_(counting),
        backrefs_(backrefs) {}

  int32_t SlotCount() const { return slotCount_; }
  int32_t MemoPoints() const { return memoPoints_; }

  // False when the program would grow beyond CPattern::kMaxInstructions.
  bool Generate(int root, bool anchored);

 private:
  // A node that matches exactly one character, as a counting repeat runs it.
  struct Item {
    PatternOp op;       // OpRepeatSet, OpRepeatAny, OpRepeatClass or OpRepeatChar
    int32_t value = 0;  // OpRepeatChar
    ByteSet set;        // OpRepeatSet and OpRepeatClass
  };

  int32_t Here() const { return static_cast<int32_t>(program_.size()); }
  int32_t Emit(PatternOp op, int32_t operand = 0);
  void Patch(int32_t at, int32_t target);
  void MemoPoint(int32_t at);
  int32_t NewSlot() { return slotCount_++; }

  void Body(int body, const Follow& follow);
  void Code(int index, const Follow& follow);
  void Sequence(const Node& node, const Follow& follow);
  void Class(int32_t index);
  void Alternation(const Node& node, const Follow& follow);
  void Not(const Node& node);
  void Repeat(const Node& node, const Follow& follow);
  int StripParens(int index) const;
  bool SingleItem(int index, Item* item) const;
  int32_t SearchableByte(const ByteSet& set) const;
  bool CountingRepeat(const Node& node, const Follow& follow);
  void GreedyLoop(int atom, bool loops, const Follow& bodyFollow);
  void LazyLoop(int atom, const Follow& bodyFollow);
  void LazyOptional(int atom, const Follow& follow);

  const Tree& tree_;
  const std::vector<FirstBytes>& first_;
  std::vector<PatternInstr>& program_;
  std::vector<InstrExtra>& extra_;
  std::vector<ByteSet>& classSets_;
  const bool caseSensitive_;
  const CodePage& codePage_;
  const bool counting_;
  const bool backrefs_;
  int32_t slotCount_ = 0;
  int32_t memoPoints_ = 0;
  int unmemoized_ = 0;  // inside a "!" or a loop body that can match empty
  bool tooLarge_ = false;
};

}  // namespace strbatch::pattern_internal

#endif  // STRBATCH_PATTERN_PATTERN_CODEGEN_H_
