// This file's external interface is CodeGenerator (pattern_codegen.h): the
// templates that lay out each kind of node, counting repeats for repeats of
// one character item, and the rows of the memo of failed states.
#include "pattern/pattern_codegen.h"

#include <utility>
#include <vector>

#include "pattern/pattern.h"

namespace strbatch::pattern_internal {

bool CodeGenerator::Generate(int root, bool anchored) {
  Emit(OpCall, 2);
  Emit(anchored ? OpFailAll : OpAdvance);
  if (root >= 0) Code(root, Follow());
  Emit(OpAccept);
  return !tooLarge_;
}

int32_t CodeGenerator::Emit(PatternOp op, int32_t operand) {
  if (program_.size() >= CPattern::kMaxInstructions) {
    tooLarge_ = true;
    return 0;
  }
  program_.push_back({op, operand});
  extra_.emplace_back();
  return Here() - 1;
}

void CodeGenerator::Patch(int32_t at, int32_t target) {
  if (!tooLarge_) program_[at].operand = target;
}

// Gives the construct that starts at at its row in the memo, where it may
// have one.
void CodeGenerator::MemoPoint(int32_t at) {
  if (!backrefs_ && unmemoized_ == 0 && !tooLarge_) extra_[at].memo = memoPoints_++;
}

void CodeGenerator::Body(int body, const Follow& follow) {
  if (body < 0) {
    Emit(OpNop);
  } else {
    Code(body, follow);
  }
}

// follow: what comes after the node.
void CodeGenerator::Code(int index, const Follow& follow) {
  if (tooLarge_) return;
  const Node& node = tree_.nodes[index];
  switch (node.kind) {
    case NodeKind::kChar: Emit(OpChar, node.value); break;
    case NodeKind::kEnd: Emit(OpChar, 0); break;
    case NodeKind::kAny: Emit(OpAny); break;
    case NodeKind::kClass: Class(node.value); break;
    case NodeKind::kBackref: Emit(OpBackref, node.value); break;
    case NodeKind::kParen: {
      const int32_t call = Emit(OpCall);
      MemoPoint(call);
      Emit(OpReturn);
      Patch(call, Here());
      Body(node.body, follow);
      break;
    }
    case NodeKind::kBrace: {
      // The group's old bounds go on the stack so that backing off
      // through the group restores them.
      MemoPoint(Emit(OpPushGroup, node.value));
      Emit(OpGroupStart, node.value);
      const int32_t call = Emit(OpCall);
      Emit(OpPopGroup, node.value);
      Emit(OpReturn);
      Patch(call, Here());
      Body(node.body, follow);
      Emit(OpGroupEnd, node.value);
      break;
    }
    case NodeKind::kNot: Not(node); break;
    case NodeKind::kSeq: Sequence(node, follow); break;
    case NodeKind::kAlt: Alternation(node, follow); break;
    case NodeKind::kRepeat: Repeat(node, follow); break;
  }
}

void CodeGenerator::Sequence(const Node& node, const Follow& follow) {
  std::vector<Follow> after(node.children.size());
  Follow next = follow;
  for (size_t i = node.children.size(); i-- > 0;) {
    after[i] = next;
    next = Before(first_[node.children[i]], next);
  }
  for (size_t i = 0; i < node.children.size(); ++i) Code(node.children[i], after[i]);
}

void CodeGenerator::Class(int32_t index) {
  const ClassNode& cls = tree_.classes[index];
  const int32_t at = Emit(cls.negated ? OpNotClass : OpClass);
  if (tooLarge_) return;
  extra_[at].set = static_cast<int32_t>(classSets_.size());
  classSets_.push_back(cls.set);
  // The range pairs follow the instruction. When case is ignored they are
  // read off the folded set, so that they show what is matched.
  std::vector<std::pair<unsigned char, unsigned char>> ranges = cls.ranges;
  if (!caseSensitive_) {
    ranges.clear();
    for (int b = 0; b < 256;) {
      if (!cls.set.Has(static_cast<unsigned char>(b))) {
        ++b;
        continue;
      }
      int end = b;
      while (end + 1 < 256 && cls.set.Has(static_cast<unsigned char>(end + 1))) ++end;
      ranges.emplace_back(static_cast<unsigned char>(b), static_cast<unsigned char>(end));
      b = end + 1;
    }
  }
  for (const auto& [low, high] : ranges) {
    Emit(OpNop, low);
    Emit(OpNop, high);
  }
  Patch(at, Here());
}

void CodeGenerator::Alternation(const Node& node, const Follow& follow) {
  std::vector<int32_t> jumpsToEnd;
  for (size_t i = 0; i + 1 < node.children.size(); ++i) {
    const int32_t k = Emit(OpPushPos);
    MemoPoint(k);
    Emit(OpCall, k + 4);
    Emit(OpPopPos);
    const int32_t toNext = Emit(OpJump);
    Code(node.children[i], follow);
    jumpsToEnd.push_back(Emit(OpJump));
    Patch(toNext, Here());
  }
  Code(node.children.back(), follow);
  for (int32_t jump : jumpsToEnd) Patch(jump, Here());
}

// A "!" whose atom matches must leave no trace: the groups numbered
// inside the atom are saved before it and put back on both ways out, since
// cutting the stack back drops the atom's own saved values unseen.
void CodeGenerator::Not(const Node& node) {
  const int32_t s1 = NewSlot();
  const int32_t s2 = NewSlot();
  const int32_t head = Here();
  for (int32_t g = node.firstGroup; g < node.endGroup; ++g) Emit(OpPushGroup, g);
  auto restoreGroups = [&] {
    for (int32_t g = node.endGroup - 1; g >= node.firstGroup; --g) Emit(OpPopGroup, g);
  };
  Emit(OpSavePos, s1);
  Emit(OpSaveDepth, s2);
  MemoPoint(head);
  const int32_t call = Emit(OpCall);
  Emit(OpLoadPos, s1);
  Emit(OpLoadDepth, s2);
  restoreGroups();
  const int32_t jumpOut = Emit(OpJump);
  Patch(call, Here());
  ++unmemoized_;
  Code(node.body, Follow());  // the body's end is a success whatever follows
  --unmemoized_;
  Emit(OpLoadPos, s1);
  Emit(OpLoadDepth, s2);
  restoreGroups();
  Emit(OpReturn);
  Patch(jumpOut, Here());
}

void CodeGenerator::Repeat(const Node& node, const Follow& follow) {
  if (counting_ && CountingRepeat(node, follow)) return;
  // After one occurrence comes another one or the rest.
  const Follow again = Either(first_[node.body], follow);
  switch (node.repeat) {
    case RepeatKind::kStar: GreedyLoop(node.body, true, again); break;
    case RepeatKind::kQuestion: GreedyLoop(node.body, false, follow); break;
    case RepeatKind::kPlus:
      Code(node.body, again);  // the first, mandatory occurrence
      GreedyLoop(node.body, true, again);
      break;
    case RepeatKind::kLazyStar: LazyLoop(node.body, again); break;
    case RepeatKind::kLazyPlus:
      Code(node.body, again);
      LazyLoop(node.body, again);
      break;
    case RepeatKind::kLazyQuestion: LazyOptional(node.body, follow); break;
  }
}

// Parentheses that number no group change nothing about what their body
// matches.
int CodeGenerator::StripParens(int index) const {
  while (index >= 0 && tree_.nodes[index].kind == NodeKind::kParen) index = tree_.nodes[index].body;
  return index;
}

bool CodeGenerator::SingleItem(int index, Item* item) const {
  if (index < 0) return false;
  const Node& node = tree_.nodes[index];
  ByteSet bytes;
  if (node.kind == NodeKind::kAny) {
    item->op = OpRepeatAny;
    return true;
  }
  if (node.kind == NodeKind::kChar && node.value > 0xFF) {
    item->op = OpRepeatChar;
    item->value = node.value;
    return true;
  }
  if (node.kind == NodeKind::kChar && node.value > 0) {
    bytes.Add(static_cast<unsigned char>(node.value));
  } else if (node.kind == NodeKind::kClass) {
    const ClassNode& cls = tree_.classes[node.value];
    bytes = cls.negated ? cls.set.Complement() : cls.set;
  } else {
    return false;
  }
  // Bytes that are whole characters can be given back a byte at a time.
  bool wholeCharacters = true;
  for (int b = 0; b < 256; ++b) {
    if (bytes.Has(static_cast<unsigned char>(b)) && codePage_.IsLeadByte(static_cast<unsigned char>(b))) {
      wholeCharacters = false;
    }
  }
  if (wholeCharacters) {
    item->op = OpRepeatSet;
  } else if (node.kind == NodeKind::kChar) {
    item->op = OpRepeatChar;  // a lone lead byte, a character only at the end of the text
    item->value = node.value;
    return true;
  } else {
    item->op = OpRepeatClass;
  }
  item->set = bytes;
  return true;
}

// The one byte of set (NUL aside), when a byte search can find where a
// character with that first byte starts: it must never lie inside a
// character (UTF-8) or be a lead byte (double-byte code pages, where the
// matcher checks that a hit is not a second byte); -1 otherwise.
int32_t CodeGenerator::SearchableByte(const ByteSet& set) const {
  int32_t only = -1;
  for (int b = 1; b < 256; ++b) {
    if (!set.Has(static_cast<unsigned char>(b))) continue;
    if (only >= 0) return -1;
    only = b;
  }
  if (only < 0 || codePage_.IsLeadByte(static_cast<unsigned char>(only))) return -1;
  if (codePage_.IsUtf8() && only >= 0x80) return -1;
  return only;
}

// A greedy or lazy repeat of one character item as one counting repeat.
// A greedy "+", "*" or "?" over C+ (C one item; "\w+" is one) finds what
// C+ or C* finds: in both layouts the rest of the expression is tried at
// the ends of the run from the longest down, and from one position it
// fares the same whichever way the run was split, since no group is
// inside. Only the split into occurrences differs, which in the nested
// layout costs time exponential in the run.
bool CodeGenerator::CountingRepeat(const Node& node, const Follow& follow) {
  RepeatKind kind = node.repeat;
  const bool lazy = kind == RepeatKind::kLazyStar || kind == RepeatKind::kLazyPlus ||
                    kind == RepeatKind::kLazyQuestion;
  int atom = StripParens(node.body);
  if (atom < 0) return false;
  const Node& inner = tree_.nodes[atom];
  if (!lazy && inner.kind == NodeKind::kRepeat && inner.repeat == RepeatKind::kPlus) {
    atom = StripParens(inner.body);
    if (kind == RepeatKind::kQuestion) kind = RepeatKind::kStar;
  }
  Item item;
  if (!SingleItem(atom, &item)) return false;
  const int32_t shape =
      (kind == RepeatKind::kPlus || kind == RepeatKind::kLazyPlus ? kRepeatAtLeastOne : 0) |
      (kind == RepeatKind::kQuestion || kind == RepeatKind::kLazyQuestion ? kRepeatAtMostOne : 0) |
      (lazy ? kRepeatLazy : 0);
  const int32_t setIndex = static_cast<int32_t>(classSets_.size());
  const bool hasSet = item.op == OpRepeatSet || item.op == OpRepeatClass;
  const int32_t at = Emit(item.op, item.op == OpRepeatChar ? item.value : hasSet ? setIndex : 0);
  if (tooLarge_) return true;
  if (hasSet) {
    extra_[at].set = setIndex;
    classSets_.push_back(item.set);
    if (item.op == OpRepeatClass) extra_[at].stopByte = SearchableByte(item.set.Complement());
  }
  if (!follow.any && !backrefs_) {
    extra_[at].follow = static_cast<int32_t>(classSets_.size());
    extra_[at].followByte = SearchableByte(follow.set);
    classSets_.push_back(follow.set);
  }
  MemoPoint(at);
  Emit(OpRepeatBack, shape);
  return true;
}

// One more occurrence is tried before giving one up. Slot s holds the
// position where the current occurrence began; an occurrence that ends
// there is refused, so every loop ends. The slot's earlier value goes on
// the stack with each occurrence, so that backing off into an earlier
// occurrence compares against that occurrence's own start.
void CodeGenerator::GreedyLoop(int atom, bool loops, const Follow& bodyFollow) {
  const bool canBeEmpty = first_[atom].canBeEmpty;
  const int32_t s = NewSlot();
  const int32_t k = Emit(OpPushSlot, s);
  MemoPoint(k);
  Emit(OpSavePos, s);
  Emit(OpPushPos);
  const int32_t call = Emit(OpCall);
  Emit(OpPopPos);
  Emit(OpPopSlot, s);
  const int32_t jumpOut = Emit(OpJump);
  Patch(call, Here());
  if (canBeEmpty) ++unmemoized_;
  Code(atom, bodyFollow);
  if (canBeEmpty) --unmemoized_;
  Emit(OpNoProgress, s);
  if (loops) Emit(OpJump, k);
  Patch(jumpOut, Here());
}

// The rest of the expression is tried first, from the loop's position;
// when it fails, the position is put back and one more occurrence is
// tried. An occurrence that consumes nothing is refused, so every lazy
// loop ends.
void CodeGenerator::LazyLoop(int atom, const Follow& bodyFollow) {
  const bool canBeEmpty = first_[atom].canBeEmpty;
  const int32_t s = NewSlot();
  const int32_t k = Emit(OpPushPos);
  MemoPoint(k);
  const int32_t callRest = Emit(OpCall);
  Emit(OpPopPos);
  Emit(OpPushSlot, s);
  Emit(OpSavePos, s);
  const int32_t callAtom = Emit(OpCall);
  Emit(OpPopSlot, s);
  Emit(OpReturn);
  Patch(callAtom, Here());
  if (canBeEmpty) ++unmemoized_;
  Code(atom, bodyFollow);
  if (canBeEmpty) --unmemoized_;
  Emit(OpNoProgress, s);
  Emit(OpJump, k);
  Patch(callRest, Here());
}

void CodeGenerator::LazyOptional(int atom, const Follow& follow) {
  MemoPoint(Emit(OpPushPos));
  const int32_t callRest = Emit(OpCall);
  Emit(OpPopPos);
  Code(atom, follow);
  Patch(callRest, Here());
}

}  // namespace strbatch::pattern_internal
