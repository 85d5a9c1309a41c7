// This file's external interface is CPattern::Match (with PatternText and
// CPatternMatch): the backtracking machine that runs a compiled program.
//
// The machine keeps one explicit stack of 32-bit words: instruction indexes
// to continue at, text positions, saved slot values and saved group bounds.
// Failing anywhere means backing off: pop an instruction index and go on
// there. The compiled layouts guarantee an index is on top whenever a back
// off happens.
#include <algorithm>
#include <cstring>
#include <new>

#include "pattern/pattern.h"

namespace strbatch {
namespace {

// Positions are 32-bit words on the stack; this value marks a group bound
// that is not set. Texts of 4 GiB or more are refused.
constexpr uint32_t kNoPosition = UINT32_MAX;

}  // namespace

CPatternMatch::CPatternMatch(size_t stackCapacity)
    : stack_(std::max<size_t>(stackCapacity, 16)) {}

size_t CPatternMatch::GroupStart(int i) const {
  if (i < 0 || i >= groupCount_) return kUnset;
  const uint32_t start = groups_[2 * i];
  const uint32_t end = groups_[2 * i + 1];
  return (start == kNoPosition || end == kNoPosition) ? kUnset : start;
}

size_t CPatternMatch::GroupEnd(int i) const {
  if (i < 0 || i >= groupCount_) return kUnset;
  const uint32_t start = groups_[2 * i];
  const uint32_t end = groups_[2 * i + 1];
  return (start == kNoPosition || end == kNoPosition) ? kUnset : end;
}

void CPatternMatch::Prepare(int groupCount, int slotCount) {
  groupCount_ = groupCount;
  groups_.assign(2 * static_cast<size_t>(groupCount), kNoPosition);
  slots_.assign(static_cast<size_t>(slotCount), 0);
}

PatternText::PatternText(const CPattern& pattern, std::string_view text) {
  size_t length = text.size();
  if (length > 0) {
    if (const void* nul = std::memchr(text.data(), 0, length)) {
      length = static_cast<size_t>(static_cast<const char*>(nul) - text.data());
    }
  }
  original_ = text.substr(0, length);
  if (!pattern.CaseSensitive()) {
    try {
      folded_ = FoldAsciiLower(original_, pattern.codePage_);
      isFolded_ = true;
    } catch (const std::bad_alloc&) {
      failed_ = true;
    }
  }
}

bool CPattern::Match(const PatternText& text, size_t from, CPatternMatch& match,
                     size_t* endOut) const {
  if (endOut != nullptr) *endOut = 0;
  match.start_ = CPatternMatch::kUnset;
  match.end_ = CPatternMatch::kUnset;
  match.limitReached_ = false;
  match.limitOffset_ = CPatternMatch::kUnset;
  match.groupCount_ = 0;
  if (lastError_ != PATTERN_OK || program_.empty()) return false;
  try {
    if (text.failed_) throw std::bad_alloc();  // the folded copy could not be made
    if (caseSensitive_) return Run(text.original_, from, match, endOut);
    if (text.isFolded_) return Run(text.folded_, from, match, endOut);
    // Text prepared for a case-sensitive pattern: fold it for this search.
    const std::string folded = FoldAsciiLower(text.original_, codePage_);
    return Run(folded, from, match, endOut);
  } catch (const std::bad_alloc&) {
    match.limitReached_ = true;
    match.limitOffset_ = from;
    return false;
  }
}

size_t CPattern::NextCandidate(std::string_view bytes, size_t pos) const {
  const char* text = bytes.data();
  const size_t size = bytes.size();
  while (pos < size) {
    size_t hit = size;
    switch (prefilter_.kind) {
      case Prefilter::kByte:
        if (const void* p = std::memchr(text + pos, prefilter_.literal[0], size - pos)) {
          hit = static_cast<size_t>(static_cast<const char*>(p) - text);
        }
        break;
      case Prefilter::kLiteral:
        if (const void* p = memmem(text + pos, size - pos, prefilter_.literal.data(),
                                   prefilter_.literal.size())) {
          hit = static_cast<size_t>(static_cast<const char*>(p) - text);
        }
        break;
      case Prefilter::kByteSet:
        hit = pos;
        while (hit < size && !prefilter_.firstBytes.Has(static_cast<unsigned char>(text[hit]))) {
          ++hit;
        }
        break;
      case Prefilter::kNone:
        return pos;
    }
    if (hit >= size) return size;
    // The hit may lie inside a character.
    if (!doubleByte_) {
      while (pos < hit) pos = codePage_.NextChar(text, pos, size);
      if (pos == hit) return hit;
      continue;
    }
    // In a double-byte code page every byte that is not a lead byte ends a
    // character, so characters are known to start after the last such byte
    // before the hit (or at pos); from there on the bytes pair up, and an odd
    // distance puts the hit on a second byte. This looks back only over the
    // bytes since pos, without walking every character from pos.
    size_t boundary = hit;
    while (boundary > pos && codePage_.IsLeadByte(static_cast<unsigned char>(text[boundary - 1]))) {
      --boundary;
    }
    if ((hit - boundary) % 2 == 0) return hit;
    pos = hit + 1;
  }
  return size;
}

bool CPattern::Run(std::string_view bytes, size_t from, CPatternMatch& match,
                   size_t* endOut) const {
  const size_t size = bytes.size();
  if (from > size) return false;
  if (size >= kNoPosition) {
    match.limitReached_ = true;
    match.limitOffset_ = from;
    return false;
  }
  const unsigned char* text = reinterpret_cast<const unsigned char*>(bytes.data());
  const char* chars = bytes.data();
  const uint32_t n = static_cast<uint32_t>(size);
  match.Prepare(groupCount_, slotCount_);
  uint32_t* const slots = match.slots_.data();
  uint32_t* const groups = match.groups_.data();
  std::vector<uint32_t>& stack = match.stack_;
  uint32_t* st = stack.data();
  size_t capacity = stack.size();
  size_t depth = 0;
  const size_t maxStack = std::max(maxStackEntries_, capacity);
  uint64_t steps = maxSteps_ != 0 ? maxSteps_ : kBaseSteps + kStepsPerByte * (size - from);
  const PatternInstr* const code = program_.data();
  const CodePage& codePage = codePage_;
  const bool skipping = shortcuts_ && !anchored_ && prefilter_.kind != Prefilter::kNone;

  uint32_t attempt = static_cast<uint32_t>(from);
  if (skipping) {
    // Every match consumes a first character, so none can start at the end.
    const size_t candidate = NextCandidate(bytes, from);
    if (candidate >= size) return false;
    attempt = static_cast<uint32_t>(candidate);
  }
  uint32_t pos = attempt;
  int32_t pc = 0;

  auto grow = [&]() -> bool {
    if (capacity >= maxStack) return false;
    capacity = std::min(maxStack, 2 * depth + 2);
    stack.resize(capacity);
    st = stack.data();
    return true;
  };
#define STRBATCH_PUSH(value)                      \
  do {                                            \
    if (depth >= capacity && !grow()) goto limit; \
    st[depth++] = (value);                        \
  } while (0)
#define STRBATCH_POP() (depth > 0 ? st[--depth] : 0u)

  for (;;) {
    if (--steps == 0) goto limit;
    {
      const PatternInstr in = code[pc];
      switch (in.op) {
        case OpNop:
          ++pc;
          continue;
        case OpGroupStart:
          groups[2 * in.operand] = pos;
          ++pc;
          continue;
        case OpGroupEnd:
          groups[2 * in.operand + 1] = pos;
          ++pc;
          continue;
        case OpChar:
          if (pos < n) {
            // Whole characters compare by value, so a match never starts or
            // ends inside one.
            const uint32_t next = static_cast<uint32_t>(codePage.NextChar(chars, pos, n));
            if (CharValue(text + pos, next - pos) == static_cast<uint32_t>(in.operand)) {
              pos = next;
              ++pc;
              continue;
            }
          } else if (in.operand == 0) {
            ++pc;  // the end-of-text test
            continue;
          }
          goto fail;
        case OpAny:
          if (pos >= n) goto fail;
          pos = static_cast<uint32_t>(codePage.NextChar(chars, pos, n));
          ++pc;
          continue;
        case OpClass:
        case OpNotClass: {
          if (pos >= n) goto fail;
          const bool inSet = classSets_[classOfInstr_[pc]].Has(text[pos]);
          if (inSet != (in.op == OpClass)) goto fail;
          pos = static_cast<uint32_t>(codePage.NextChar(chars, pos, n));
          pc = in.operand;
          continue;
        }
        case OpJump:
          pc = in.operand;
          continue;
        case OpPushPos:
          STRBATCH_PUSH(pos);
          ++pc;
          continue;
        case OpPopPos:
          pos = STRBATCH_POP();
          ++pc;
          continue;
        case OpCall:
          STRBATCH_PUSH(static_cast<uint32_t>(pc + 1));
          pc = in.operand;
          continue;
        case OpReturn:
          goto fail;
        case OpPushSlot:
          STRBATCH_PUSH(slots[in.operand]);
          ++pc;
          continue;
        case OpPopSlot:
          slots[in.operand] = STRBATCH_POP();
          ++pc;
          continue;
        case OpSavePos:
          slots[in.operand] = pos;
          ++pc;
          continue;
        case OpSaveDepth:
          slots[in.operand] = static_cast<uint32_t>(depth);
          ++pc;
          continue;
        case OpLoadPos:
          pos = slots[in.operand];
          ++pc;
          continue;
        case OpLoadDepth:
          depth = std::min<size_t>(depth, slots[in.operand]);
          ++pc;
          continue;
        case OpNoProgress:
          if (pos == slots[in.operand]) goto fail;
          ++pc;
          continue;
        case OpBackref: {
          const uint32_t start = groups[2 * in.operand];
          const uint32_t end = groups[2 * in.operand + 1];
          if (start == kNoPosition && end == kNoPosition) {
            ++pc;  // a group that took no part matches the empty text
            continue;
          }
          // A group still open (or with bounds from different occurrences)
          // has no text to compare with.
          if (start == kNoPosition || end == kNoPosition || end < start) goto fail;
          const uint32_t length = end - start;
          if (n - pos < length || std::memcmp(text + start, text + pos, length) != 0) goto fail;
          pos += length;
          ++pc;
          continue;
        }
        case OpFailAll:
          return false;
        case OpAdvance: {
          if (attempt >= n) return false;
          size_t next = codePage.NextChar(chars, attempt, n);
          if (next >= n) return false;
          if (skipping) {
            next = NextCandidate(bytes, next);
            if (next >= n) return false;
          }
          attempt = pos = static_cast<uint32_t>(next);
          depth = 0;
          pc = 0;
          continue;
        }
        case OpAccept: {
          match.start_ = attempt;
          match.end_ = pos;
          if (endOut != nullptr) *endOut = pos;
          return true;
        }
        case OpPushGroup:
          STRBATCH_PUSH(groups[2 * in.operand]);
          STRBATCH_PUSH(groups[2 * in.operand + 1]);
          ++pc;
          continue;
        case OpRepeatSet: {
          const ByteSet& set = classSets_[in.operand];
          const int32_t shape = code[pc + 1].operand;
          const uint32_t least = shape & 1;
          const uint32_t limit = (shape & 2) ? std::min(n, pos + 1) : n;
          uint32_t end = pos;
          while (end < limit && set.Has(text[end])) ++end;
          // The scan is work like the steps it saves.
          if (end - pos >= steps) goto limit;
          steps -= end - pos;
          if (end - pos < least) goto fail;
          if (end > pos + least) {
            STRBATCH_PUSH(pos + least);  // the shortest run allowed
            STRBATCH_PUSH(end - 1);      // the run to try next
            STRBATCH_PUSH(static_cast<uint32_t>(pc + 1));
          }
          pos = end;
          pc += 2;
          continue;
        }
        case OpRepeatBack: {
          // Reached only by backing off: one byte less of the run.
          const uint32_t run = STRBATCH_POP();
          const uint32_t shortest = STRBATCH_POP();
          if (run > shortest) {
            STRBATCH_PUSH(shortest);
            STRBATCH_PUSH(run - 1);
            STRBATCH_PUSH(static_cast<uint32_t>(pc));
          }
          pos = run;
          ++pc;
          continue;
        }
        case OpPopGroup:
          groups[2 * in.operand + 1] = STRBATCH_POP();
          groups[2 * in.operand] = STRBATCH_POP();
          ++pc;
          continue;
      }
    }
  fail:
    // The bottom of the stack leads back to instruction 1, which ends the
    // attempt; an empty stack goes there too.
    pc = depth > 0 ? static_cast<int32_t>(st[--depth]) : 1;
  }

limit:
  match.limitReached_ = true;
  match.limitOffset_ = attempt;
  return false;
#undef STRBATCH_PUSH
#undef STRBATCH_POP
}

}  // namespace strbatch
