// The tree an expression parses into, shared by the compiler's stages:
// pattern_parser.cc builds it, pattern_analysis.cc works out what its nodes
// can begin with, and pattern_codegen.cc lays it out as a program. Only the
// compiler uses it; the engine's interface is pattern.h.
//
// Parsing into a tree first means every part of the expression is read once,
// so compile time stays linear in the expression (re-reading an element to
// try it both with and without "|" would double the work at every nesting
// level).
#ifndef STRBATCH_PATTERN_PATTERN_TREE_H_
#define STRBATCH_PATTERN_PATTERN_TREE_H_

#include <cstdint>
#include <utility>
#include <vector>

#include "pattern/pattern_program.h"

namespace strbatch::pattern_internal {

enum class NodeKind {
  kChar,     // one literal character: value
  kEnd,      // "$" at the very end of the expression
  kAny,      // "."
  kClass,    // value: index of the class
  kBackref,  // value: group number
  kParen,    // "(" body ")"; body -1 when empty
  kBrace,    // "{" body "}", value: group number
  kNot,      // "!" atom
  kSeq,      // children in order
  kAlt,      // children, the first preferred
  kRepeat,   // body repeated as repeat says
};

enum class RepeatKind { kStar, kPlus, kQuestion, kLazyStar, kLazyPlus, kLazyQuestion };

struct Node {
  explicit Node(NodeKind k) : kind(k) {}

  NodeKind kind;
  int32_t value = 0;
  RepeatKind repeat = RepeatKind::kStar;
  int body = -1;
  std::vector<int> children;
  // "!": the groups numbered inside its atom, [firstGroup, endGroup).
  int32_t firstGroup = 0;
  int32_t endGroup = 0;
};

struct ClassNode {
  bool negated = false;
  std::vector<std::pair<unsigned char, unsigned char>> ranges;  // as written
  ByteSet set;  // the first bytes it holds, case-folded when matching ignores case
};

struct Tree {
  std::vector<Node> nodes;
  std::vector<ClassNode> classes;
  int32_t groupCount = 0;
};

}  // namespace strbatch::pattern_internal

#endif  // STRBATCH_PATTERN_PATTERN_TREE_H_
