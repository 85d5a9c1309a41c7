// This file's external interface is AnalyseFirstBytes, Before, Either and
// ChoosePrefilter (pattern_analysis.h): the first bytes of every node, the
// follow sets built from them, and the choice of prefilter, which looks for
// the literal text or the first byte every match begins with.
#include "pattern/pattern_analysis.h"

#include <algorithm>
#include <string>

#include "pattern/pattern_scan.h"

namespace strbatch::pattern_internal {
namespace {

// Appends the literal bytes every match of the node begins with; true when
// the node is nothing but literal text, so that what follows it continues
// the prefix.
bool CollectLiteralPrefix(const Tree& tree, int index, std::string* prefix) {
  if (index < 0) return true;
  const Node& node = tree.nodes[index];
  switch (node.kind) {
    case NodeKind::kChar:
      for (uint32_t value = static_cast<uint32_t>(node.value); value != 0; value >>= 8) {
        prefix->push_back(static_cast<char>(value & 0xFF));
      }
      return true;
    case NodeKind::kParen:
    case NodeKind::kBrace:
      return CollectLiteralPrefix(tree, node.body, prefix);
    case NodeKind::kSeq:
      for (int child : node.children) {
        if (!CollectLiteralPrefix(tree, child, prefix)) return false;
      }
      return true;
    case NodeKind::kRepeat:
      if (node.repeat == RepeatKind::kPlus || node.repeat == RepeatKind::kLazyPlus) {
        CollectLiteralPrefix(tree, node.body, prefix);
      }
      return false;
    default:
      return false;
  }
}

// Whether every match of the node is one byte that is a whole character.
bool OneByte(const Tree& tree, int index, const CodePage& codePage) {
  if (index < 0) return false;
  const Node& node = tree.nodes[index];
  switch (node.kind) {
    case NodeKind::kChar:
      return node.value > 0 && node.value <= 0xFF &&
             !codePage.IsLeadByte(static_cast<unsigned char>(node.value));
    case NodeKind::kClass: {
      const ClassNode& cls = tree.classes[node.value];
      const ByteSet set = cls.negated ? cls.set.Complement() : cls.set;
      for (int b = 0; b < 256; ++b) {
        if (set.Has(static_cast<unsigned char>(b)) && codePage.IsLeadByte(static_cast<unsigned char>(b))) {
          return false;
        }
      }
      return true;
    }
    case NodeKind::kParen:
    case NodeKind::kBrace:
      return OneByte(tree, node.body, codePage);
    case NodeKind::kAlt:
      return std::all_of(node.children.begin(), node.children.end(),
                         [&](int child) { return OneByte(tree, child, codePage); });
    default:
      return false;
  }
}

// The literal bytes that follow the first byte of every match, when that
// first byte is a character of its own ("he" for "T|the"); *whole tells
// whether they are all of the rest of the expression.
std::string LiteralAfterFirstByte(const Tree& tree, int root, const CodePage& codePage, bool* whole) {
  *whole = false;
  while (root >= 0 && (tree.nodes[root].kind == NodeKind::kParen || tree.nodes[root].kind == NodeKind::kBrace)) {
    root = tree.nodes[root].body;
  }
  std::string after;
  if (root < 0 || tree.nodes[root].kind != NodeKind::kSeq) return after;
  const std::vector<int>& children = tree.nodes[root].children;
  if (!OneByte(tree, children[0], codePage)) return after;
  for (size_t i = 1; i < children.size(); ++i) {
    if (!CollectLiteralPrefix(tree, children[i], &after)) return after;
  }
  *whole = true;
  return after;
}

}  // namespace

std::vector<FirstBytes> AnalyseFirstBytes(const Tree& tree) {
  std::vector<FirstBytes> first(tree.nodes.size());
  for (size_t i = 0; i < tree.nodes.size(); ++i) {
    const Node& node = tree.nodes[i];
    FirstBytes& result = first[i];
    switch (node.kind) {
      case NodeKind::kChar:
        result.set.Add(static_cast<unsigned char>(node.value & 0xFF));
        result.canBeEmpty = false;
        break;
      case NodeKind::kAny:
        result.set.AddRange(1, 255);
        result.canBeEmpty = false;
        break;
      case NodeKind::kClass: {
        const ClassNode& cls = tree.classes[node.value];
        result.set = cls.negated ? cls.set.Complement() : cls.set;
        result.canBeEmpty = false;
        break;
      }
      case NodeKind::kBackref:
        result.set.AddRange(0, 255);
        break;
      case NodeKind::kEnd:
      case NodeKind::kNot:
        break;  // consume nothing
      case NodeKind::kParen:
      case NodeKind::kBrace:
        if (node.body >= 0) result = first[node.body];
        break;
      case NodeKind::kSeq:
        for (int child : node.children) {
          result.set.AddAll(first[child].set);
          if (!first[child].canBeEmpty) {
            result.canBeEmpty = false;
            break;
          }
        }
        break;
      case NodeKind::kAlt:
        result.canBeEmpty = false;
        for (int child : node.children) {
          result.set.AddAll(first[child].set);
          result.canBeEmpty = result.canBeEmpty || first[child].canBeEmpty;
        }
        break;
      case NodeKind::kRepeat:
        result = first[node.body];
        if (node.repeat != RepeatKind::kPlus && node.repeat != RepeatKind::kLazyPlus) {
          result.canBeEmpty = true;
        }
        break;
    }
  }
  return first;
}

Follow Before(const FirstBytes& first, const Follow& after) {
  Follow follow;
  follow.set = first.set;
  follow.any = false;
  if (first.canBeEmpty) {
    follow.set.AddAll(after.set);
    follow.any = after.any;
  }
  return follow;
}

Follow Either(const FirstBytes& first, const Follow& after) {
  Follow follow = after;
  follow.set.AddAll(first.set);
  follow.any = after.any || first.canBeEmpty;
  return follow;
}

Prefilter ChoosePrefilter(const Tree& tree, const std::vector<FirstBytes>& firstBytes, int root,
                          const CodePage& codePage, bool* exact) {
  *exact = false;
  Prefilter prefilter;
  const FirstBytes first = root >= 0 ? firstBytes[root] : FirstBytes();
  if (first.canBeEmpty) return prefilter;
  std::string literal;
  CollectLiteralPrefix(tree, root, &literal);
  const int count = first.set.Count();
  std::string whole;
  *exact = CollectLiteralPrefix(tree, root, &whole) && whole == literal;
  if (literal.size() >= 2) {
    prefilter.kind = Prefilter::kLiteral;
    prefilter.literal = literal;
    ChooseRareBytes(literal, &prefilter.rare1, &prefilter.rare2);
  } else if (count == 1) {
    prefilter.kind = Prefilter::kByte;
    for (int b = 0; b < 256; ++b) {
      if (first.set.Has(static_cast<unsigned char>(b))) prefilter.literal = std::string(1, static_cast<char>(b));
    }
  } else if (count <= 200) {
    // A set that lets most bytes through saves nothing.
    prefilter.kind = Prefilter::kByteSet;
    prefilter.firstBytes = first.set;
    prefilter.ranges = ByteRanges(first.set);
    prefilter.after = LiteralAfterFirstByte(tree, root, codePage, exact);
  }
  return prefilter;
}

}  // namespace strbatch::pattern_internal
