// This file's external interface is CPattern::Compile (with the CPattern
// constructor, SetSearchLimits and the out-of-line members of ByteSet): it
// runs the compiler's stages in turn. pattern_parser.cc parses the expression
// into a small tree, pattern_analysis.cc works out which bytes a match can
// begin with, and pattern_codegen.cc lays the tree out as a program for the
// backtracking machine in pattern_matcher.cc.
#include <algorithm>
#include <new>
#include <vector>

#include "pattern/pattern.h"
#include "pattern/pattern_analysis.h"
#include "pattern/pattern_codegen.h"
#include "pattern/pattern_parser.h"
#include "pattern/pattern_tree.h"

namespace strbatch {

using pattern_internal::AnalyseFirstBytes;
using pattern_internal::ChoosePrefilter;
using pattern_internal::CodeGenerator;
using pattern_internal::FirstBytes;
using pattern_internal::kNothing;
using pattern_internal::Node;
using pattern_internal::NodeKind;
using pattern_internal::Parser;
using pattern_internal::Tree;

int ByteSet::Count() const {
  int count = 0;
  for (uint64_t word : bits_) count += __builtin_popcountll(word);
  return count;
}

ByteSet ByteSet::Complement() const {
  ByteSet result;
  for (int i = 0; i < 4; ++i) result.bits_[i] = ~bits_[i];
  return result;
}

CPattern::CPattern(const CodePage& codePage)
    : codePage_(codePage),
      doubleByte_(codePage.Number() == CodePage::kGbk || codePage.Number() == CodePage::kBig5) {}

void CPattern::SetSearchLimits(uint64_t maxSteps, size_t maxStackEntries) {
  maxSteps_ = maxSteps;
  maxStackEntries_ = std::max<size_t>(maxStackEntries, 16);
}

PatternError CPattern::Compile(std::string_view expression, bool caseSensitive) {
  program_.clear();
  extra_.clear();
  classSets_.clear();
  prefilter_ = Prefilter();
  groupCount_ = 0;
  slotCount_ = 0;
  memoPoints_ = 0;
  anchored_ = false;
  prefilterExact_ = false;
  caseSensitive_ = caseSensitive;
  lastError_ = PATTERN_OK;
  errorOffset_ = 0;
  if (expression.data() == nullptr) return lastError_ = PATTERN_ERR_NO_INPUT;
  expression = expression.substr(0, std::min(expression.find('\0'), expression.size()));

  PatternError error = PATTERN_OK;
  try {
    if (!expression.empty() && expression.front() == '^') {
      anchored_ = true;
      expression.remove_prefix(1);
    }
    Tree tree;
    Parser parser(codePage_, caseSensitive, &tree);
    int root = kNothing;
    error = parser.ParseTop(expression, &root);
    if (error != PATTERN_OK) {
      errorOffset_ = parser.ErrorOffset() + (anchored_ ? 1 : 0);
    } else {
      const std::vector<FirstBytes> first = AnalyseFirstBytes(tree);
      const bool backrefs = std::any_of(tree.nodes.begin(), tree.nodes.end(),
                                        [](const Node& node) { return node.kind == NodeKind::kBackref; });
      CodeGenerator generator(tree, first, &program_, &extra_, &classSets_, caseSensitive,
                              codePage_, shortcuts_ && countingRepeats_, backrefs);
      if (generator.Generate(root, anchored_)) {
        groupCount_ = tree.groupCount;
        slotCount_ = generator.SlotCount();
        memoPoints_ = generator.MemoPoints();
        if (!anchored_) {
          bool exact = false;
          prefilter_ = ChoosePrefilter(tree, first, root, codePage_, &exact);
          prefilterExact_ = exact && groupCount_ == 0 && prefilter_.kind != Prefilter::kNone;
        }
      } else {
        error = PATTERN_ERR_TOO_LARGE;
      }
    }
  } catch (const std::bad_alloc&) {
    error = PATTERN_ERR_MEMORY;
  }
  if (error != PATTERN_OK) {
    // A failed compile leaves nothing that could be run.
    program_.clear();
    extra_.clear();
    classSets_.clear();
    groupCount_ = 0;
    slotCount_ = 0;
    memoPoints_ = 0;
  }
  return lastError_ = error;
}

}  // namespace strbatch
