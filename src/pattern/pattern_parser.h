// The parser of the expression language: reads an expression into the tree
// of pattern_tree.h, checking it as it goes. Only the compiler uses it.
#ifndef STRBATCH_PATTERN_PATTERN_PARSER_H_
#define STRBATCH_PATTERN_PATTERN_PARSER_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/code_page.h"
#include "pattern/pattern.h"
#include "pattern/pattern_tree.h"

namespace strbatch::pattern_internal {

// Whether an atom can match without consuming text. An empty group says
// neither: directly under a repeat it counts as unable (so "()*" compiles
// and the matcher's progress checks end the loop); anywhere else it counts
// as able.
enum class Empty { kNo, kYes, kUnset };

constexpr int kNothing = -1;  // a parse step found nothing to parse
constexpr int kFailed = -2;   // a parse step set an error

// Reads one expression into *tree: nodes are added to it children first,
// so a node's index is above those of the nodes it holds.
class Parser {
 public:
  Parser(const CodePage& codePage, bool caseSensitive, Tree* tree)
      : codePage_(codePage), caseSensitive_(caseSensitive), tree_(tree) {}

  // Parses the top-level sequence of text; whatever follows the point where
  // it stops (an unmatched closing bracket and the rest) is ignored.
  // *root is the tree's root, or kNothing for an empty program.
  PatternError ParseTop(std::string_view text, int* root);

  // After a failed parse: where in the text the error is.
  size_t ErrorOffset() const { return errorOffset_; }

 private:
  // Counts one level of nesting for as long as it lives.
  class NestingGuard {
   public:
    explicit NestingGuard(Parser* parser) : parser_(parser) { ++parser_->depth_; }
    ~NestingGuard() { --parser_->depth_; }
    bool TooDeep() const { return parser_->depth_ > CPattern::kMaxNesting; }

   private:
    Parser* parser_;
  };

  bool AtEnd() const { return pos_ >= text_.size(); }
  unsigned char Peek() const { return static_cast<unsigned char>(text_[pos_]); }
  bool PeekIsCloser() const { return Peek() == ')' || Peek() == ']' || Peek() == '}'; }

  int32_t ReadChar();
  unsigned char ReadFirstByte();
  int32_t Fold(int32_t value) const;
  int Fail(PatternError error, size_t offset);
  int Add(Node node);
  int AddLeaf(NodeKind kind, int32_t value);

  int ParseSequence(bool* canBeEmpty);
  int ParseElement(bool* canBeEmpty);
  int ParseItem(bool* canBeEmpty);
  int ParseAtom(Empty* canBeEmpty);
  int ParseGroup(bool numbered, Empty* canBeEmpty);
  int ParseClass();
  int ParseEscape(Empty* canBeEmpty);
  int ParseAbbreviation(std::string_view expansion, size_t backslash, Empty* canBeEmpty);
  int ParseNot(Empty* canBeEmpty);

  const CodePage& codePage_;
  const bool caseSensitive_;
  Tree* tree_;
  std::string_view text_;
  size_t pos_ = 0;
  bool topLevel_ = true;  // "$" tests for the end only as the last character of the expression
  int depth_ = 0;
  PatternError error_ = PATTERN_OK;
  size_t errorOffset_ = 0;
};

}  // namespace strbatch::pattern_internal

#endif  // STRBATCH_PATTERN_PATTERN_PARSER_H_
