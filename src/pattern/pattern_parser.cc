// This file's external interface is Parser (pattern_parser.h): it reads an
// expression into a tree of nodes, with the abbreviations expanded.
#include "pattern/pattern_parser.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace strbatch::pattern_internal {
namespace {

// The abbreviations: "\x" compiles as its expansion, written in the
// language itself (LF, CR, 0x01 and 0x7F as raw bytes).
const char* AbbreviationExpansion(unsigned char letter) {
  switch (letter) {
    case 'a': return "([a-zA-Z0-9])";
    case 'b': return "([ \\t])";
    case 'c': return "([a-zA-Z])";
    case 'd': return "([0-9])";
    case 'h': return "([0-9a-fA-F])";
    case 'n': return "(\n)";
    case 'q': return "(\"[^\"]*\")|('[^']*')";
    case 'w': return "([a-zA-Z]+)";
    case 'z': return "([0-9]+)";
    case 'N': return "(\r|(\r?\n))";
    case 'r': return "(\r)";
    case 'e': return "([\x01-\x7F])";
    case 'E': return "([^\x01-\x7F])";
    default: return nullptr;
  }
}

}  // namespace

PatternError Parser::ParseTop(std::string_view text, int* root) {
  text_ = text;
  pos_ = 0;
  topLevel_ = true;
  bool canBeEmpty = true;
  *root = ParseSequence(&canBeEmpty);
  return *root == kFailed ? error_ : PATTERN_OK;
}

// Reads the character at the reading position (see CharValue) and moves
// past it.
int32_t Parser::ReadChar() {
  const size_t next = codePage_.NextChar(text_.data(), pos_, text_.size());
  const uint32_t value =
      CharValue(reinterpret_cast<const unsigned char*>(text_.data()) + pos_, next - pos_);
  pos_ = next;
  return static_cast<int32_t>(value);
}

// The first byte of the character at the reading position; moves past the
// whole character.
unsigned char Parser::ReadFirstByte() {
  const unsigned char b = Peek();
  pos_ = codePage_.NextChar(text_.data(), pos_, text_.size());
  return b;
}

int32_t Parser::Fold(int32_t value) const {
  return (!caseSensitive_ && value >= 'A' && value <= 'Z') ? value + ('a' - 'A') : value;
}

int Parser::Fail(PatternError error, size_t offset) {
  error_ = error;
  errorOffset_ = offset;
  return kFailed;
}

int Parser::Add(Node node) {
  tree_->nodes.push_back(std::move(node));
  return static_cast<int>(tree_->nodes.size()) - 1;
}

int Parser::AddLeaf(NodeKind kind, int32_t value) {
  Node node{kind};
  node.value = value;
  return Add(std::move(node));
}

int Parser::ParseSequence(bool* canBeEmpty) {
  std::vector<int> elements;
  bool allEmpty = true;
  while (!AtEnd()) {
    bool elementEmpty = true;
    const int element = ParseElement(&elementEmpty);
    if (element == kFailed) return kFailed;
    if (element == kNothing) break;
    elements.push_back(element);
    allEmpty = allEmpty && elementEmpty;
  }
  *canBeEmpty = allEmpty;
  if (elements.empty()) return kNothing;
  if (elements.size() == 1) return elements[0];
  Node node{NodeKind::kSeq};
  node.children = std::move(elements);
  return Add(std::move(node));
}

// Items joined by "|": "|" binds single items, so "T|the" is "T" or "t",
// then "he". The chain is read in a loop; it means the same as reading
// 'a|b|c' as "a" or ("b" or "c").
int Parser::ParseElement(bool* canBeEmpty) {
  const int32_t groupsBefore = tree_->groupCount;
  std::vector<int> items;
  bool anyEmpty = false;
  for (;;) {
    bool itemEmpty = false;
    const int item = ParseItem(&itemEmpty);
    if (item == kFailed) return kFailed;
    if (item == kNothing) {
      // A "|" followed by the end or a closing bracket: the items before
      // it vanish, with the groups they opened, and the enclosing
      // sequence ends here.
      tree_->groupCount = groupsBefore;
      return kNothing;
    }
    items.push_back(item);
    anyEmpty = anyEmpty || itemEmpty;
    if (AtEnd() || Peek() != '|') break;
    ++pos_;
  }
  *canBeEmpty = anyEmpty;
  if (items.size() == 1) return items[0];
  Node node{NodeKind::kAlt};
  node.children = std::move(items);
  return Add(std::move(node));
}

int Parser::ParseItem(bool* canBeEmpty) {
  Empty atomEmpty = Empty::kNo;
  const int atom = ParseAtom(&atomEmpty);
  if (atom < 0) return atom;
  RepeatKind kind;
  if (AtEnd()) {
    *canBeEmpty = atomEmpty != Empty::kNo;
    return atom;
  }
  const bool lazy = pos_ + 1 < text_.size() && text_[pos_ + 1] == '?';
  switch (Peek()) {
    case '*': kind = lazy ? RepeatKind::kLazyStar : RepeatKind::kStar; break;
    case '+': kind = lazy ? RepeatKind::kLazyPlus : RepeatKind::kPlus; break;
    case '?': kind = lazy ? RepeatKind::kLazyQuestion : RepeatKind::kQuestion; break;
    default:
      *canBeEmpty = atomEmpty != Empty::kNo;
      return atom;
  }
  const bool atLeastOnce = kind == RepeatKind::kPlus || kind == RepeatKind::kLazyPlus;
  const bool loops = atLeastOnce || kind == RepeatKind::kStar || kind == RepeatKind::kLazyStar;
  if (loops && atomEmpty == Empty::kYes) return Fail(PATTERN_ERR_EMPTY_REPEAT, pos_);
  pos_ += lazy ? 2 : 1;
  // "+" and "+?" need one occurrence, so they can match nothing only when
  // the atom can.
  *canBeEmpty = atLeastOnce ? atomEmpty != Empty::kNo : true;
  Node node{NodeKind::kRepeat};
  node.repeat = kind;
  node.body = atom;
  return Add(std::move(node));
}

int Parser::ParseAtom(Empty* canBeEmpty) {
  if (AtEnd()) return kNothing;
  *canBeEmpty = Empty::kNo;
  switch (Peek()) {
    case ')':
    case ']':
    case '}':
      return kNothing;
    case '(':
      return ParseGroup(false, canBeEmpty);
    case '{':
      return ParseGroup(true, canBeEmpty);
    case '[':
      return ParseClass();
    case '\\':
      return ParseEscape(canBeEmpty);
    case '!':
      return ParseNot(canBeEmpty);
    case '.':
      ++pos_;
      return AddLeaf(NodeKind::kAny, 0);
    case '$':
      if (topLevel_ && pos_ + 1 == text_.size()) {
        ++pos_;
        return AddLeaf(NodeKind::kEnd, 0);
      }
      break;
    default:
      break;
  }
  return AddLeaf(NodeKind::kChar, Fold(ReadChar()));
}

int Parser::ParseGroup(bool numbered, Empty* canBeEmpty) {
  const size_t open = pos_;
  NestingGuard nesting(this);
  if (nesting.TooDeep()) return Fail(PATTERN_ERR_NESTING, open);
  ++pos_;
  const int32_t group = numbered ? tree_->groupCount++ : -1;
  bool bodyEmpty = true;
  const int body = ParseSequence(&bodyEmpty);
  if (body == kFailed) return kFailed;
  const unsigned char closer = numbered ? '}' : ')';
  if (AtEnd() || Peek() != closer) {
    return Fail(numbered ? PATTERN_ERR_BRACE : PATTERN_ERR_PAREN, open);
  }
  ++pos_;
  if (body == kNothing) {
    *canBeEmpty = Empty::kUnset;
  } else {
    *canBeEmpty = bodyEmpty ? Empty::kYes : Empty::kNo;
  }
  Node node{numbered ? NodeKind::kBrace : NodeKind::kParen};
  node.value = group;
  node.body = body;
  return Add(std::move(node));
}

// A class holds single bytes: of every character in it only the first
// byte counts, so a double-byte character stands for all double-byte
// characters with the same first byte.
int Parser::ParseClass() {
  const size_t open = pos_;
  ++pos_;
  if (AtEnd()) return Fail(PATTERN_ERR_BRACKET, open);
  ClassNode cls;
  if (Peek() == ']') {
    ++pos_;
    return Fail(PATTERN_ERR_EMPTY_CLASS, open);
  }
  if (Peek() == '^') {
    ++pos_;
    cls.negated = true;
    if (!AtEnd() && Peek() == ']') return Fail(PATTERN_ERR_EMPTY_CLASS, open);
  }
  while (!AtEnd() && Peek() != ']') {
    const size_t lowAt = pos_;
    unsigned char low;
    if (Peek() == '\\') {
      ++pos_;
      if (AtEnd()) {
        low = '\\';  // a lone backslash at the end stands for itself
      } else {
        low = ReadFirstByte();
        if (low == 't') low = '\t';
      }
    } else {
      low = ReadFirstByte();
    }
    unsigned char high = low;
    if (!AtEnd() && Peek() == '-') {
      ++pos_;
      if (AtEnd() || Peek() == ']') return Fail(PATTERN_ERR_BRACKET, open);
      high = ReadFirstByte();
      if (high < low) return Fail(PATTERN_ERR_RANGE, lowAt);
    }
    cls.ranges.emplace_back(low, high);
    cls.set.AddRange(low, high);
  }
  if (AtEnd()) return Fail(PATTERN_ERR_BRACKET, open);
  ++pos_;
  if (!caseSensitive_) {
    // Searched text is folded, so a capital in the class stands for its
    // small letter.
    for (unsigned char b = 'A'; b <= 'Z'; ++b) {
      if (cls.set.Has(b)) cls.set.Add(static_cast<unsigned char>(b + ('a' - 'A')));
    }
  }
  tree_->classes.push_back(std::move(cls));
  return AddLeaf(NodeKind::kClass, static_cast<int32_t>(tree_->classes.size()) - 1);
}

int Parser::ParseEscape(Empty* canBeEmpty) {
  const size_t backslash = pos_;
  ++pos_;
  // A lone backslash at the end of the expression stands for itself.
  if (AtEnd()) return AddLeaf(NodeKind::kChar, '\\');
  const unsigned char c = Peek();
  if (c >= '0' && c <= '9') {
    int64_t group = 0;
    while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
      group = std::min<int64_t>(group * 10 + (Peek() - '0'), INT32_MAX);
      ++pos_;
    }
    // A group opened later in the text cannot be referred to; the group
    // that encloses the reference can (its number is already counted).
    if (group >= tree_->groupCount) return Fail(PATTERN_ERR_GROUP_REF, backslash);
    return AddLeaf(NodeKind::kBackref, static_cast<int32_t>(group));
  }
  // The letter is looked up as written, also when case is ignored: "\E"
  // stays "a double-byte character" and "\N" a line end.
  if (const char* expansion = AbbreviationExpansion(c)) {
    ++pos_;
    return ParseAbbreviation(expansion, backslash, canBeEmpty);
  }
  return AddLeaf(NodeKind::kChar, Fold(ReadChar()));
}

// The expansion is read as a whole and counts as one atom, as if it were
// enclosed in one more pair of parentheses. Its errors are placed at the
// backslash: the expansion is not text the user wrote.
int Parser::ParseAbbreviation(std::string_view expansion, size_t backslash, Empty* canBeEmpty) {
  NestingGuard nesting(this);
  if (nesting.TooDeep()) return Fail(PATTERN_ERR_NESTING, backslash);
  const std::string_view savedText = text_;
  const size_t savedPos = pos_;
  const bool savedTopLevel = topLevel_;
  text_ = expansion;
  pos_ = 0;
  topLevel_ = false;
  bool bodyEmpty = false;
  const int body = ParseSequence(&bodyEmpty);
  const bool whole = pos_ == text_.size();
  text_ = savedText;
  pos_ = savedPos;
  topLevel_ = savedTopLevel;
  if (body == kFailed) {
    if (error_ == PATTERN_ERR_NESTING) return Fail(PATTERN_ERR_NESTING, backslash);
    if (error_ == PATTERN_ERR_MEMORY) return Fail(PATTERN_ERR_MEMORY, 0);
    return Fail(PATTERN_ERR_ABBREV, backslash);
  }
  if (body == kNothing || !whole) return Fail(PATTERN_ERR_ABBREV, backslash);
  *canBeEmpty = bodyEmpty ? Empty::kYes : Empty::kNo;
  Node node{NodeKind::kParen};
  node.value = -1;
  node.body = body;
  return Add(std::move(node));
}

// "!" and the one atom after it: succeeds without consuming text where
// the atom does not match. A repeat after it applies to the whole "!".
int Parser::ParseNot(Empty* canBeEmpty) {
  const size_t bang = pos_;
  ++pos_;
  // Nothing to negate (the end, or a closing bracket): a literal "!".
  if (AtEnd() || PeekIsCloser()) return AddLeaf(NodeKind::kChar, '!');
  NestingGuard nesting(this);
  if (nesting.TooDeep()) return Fail(PATTERN_ERR_NESTING, bang);
  const int32_t firstGroup = tree_->groupCount;
  Empty atomEmpty = Empty::kNo;
  const int atom = ParseAtom(&atomEmpty);
  if (atom < 0) return atom;
  *canBeEmpty = atomEmpty;
  Node node{NodeKind::kNot};
  node.body = atom;
  node.firstGroup = firstGroup;
  node.endGroup = tree_->groupCount;
  return Add(std::move(node));
}

}  // namespace strbatch::pattern_internal
