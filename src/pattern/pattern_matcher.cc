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
#include <optional>

#include "pattern/pattern.h"
#include "pattern/pattern_memo.h"
#include "pattern/pattern_scan.h"

namespace strbatch {

using pattern_internal::FailedStates;

namespace {

// Positions are 32-bit words on the stack; this value marks a group bound
// that is not set. Texts of 4 GiB or more are refused.
constexpr uint32_t kNoPosition = UINT32_MAX;

// Once the memo is worth a look, how many steps pass between two looks.
constexpr uint64_t kMemoCheckEvery = uint64_t{1} << 16;

// Steps over the run of a counting repeat's item (the instruction head).
class RepeatRun {
 public:
  RepeatRun(const PatternInstr& head, const InstrExtra& extra, const std::vector<ByteSet>& sets,
            const unsigned char* text, uint32_t n, const CodePage& codePage)
      : op_(head.op),
        value_(static_cast<uint32_t>(head.operand)),
        set_(extra.set >= 0 ? &sets[extra.set] : nullptr),
        text_(text),
        n_(n),
        codePage_(codePage) {}

  // The end of the item's character at q, or kNoPosition when there is none.
  [[gnu::always_inline]] uint32_t One(uint32_t q) const {
    if (q >= n_) return kNoPosition;
    switch (op_) {
      case OpRepeatSet: return set_->Has(text_[q]) ? q + 1 : kNoPosition;
      case OpRepeatAny: return Next(q);
      case OpRepeatClass: return set_->Has(text_[q]) ? Next(q) : kNoPosition;
      default: {
        const uint32_t next = Next(q);
        return CharValue(text_ + q, next - q) == value_ ? next : kNoPosition;
      }
    }
  }

  // The end of the longest run of the item from q. stopByte: see
  // InstrExtra.
  [[gnu::always_inline]] uint32_t Longest(uint32_t q, int32_t stopByte) const {
    switch (op_) {
      case OpRepeatSet:
        while (q < n_ && set_->Has(text_[q])) ++q;
        return q;
      case OpRepeatAny:
        return n_;
      case OpRepeatClass:
        if (stopByte >= 0) return FindByte(q, static_cast<unsigned char>(stopByte));
        break;
      default:
        break;
    }
    for (uint32_t next; (next = One(q)) != kNoPosition;) q = next;
    return q;
  }

  // The start of the character that ends at q, a character start above
  // low, which is one too. *safe carries what one call learns to the next
  // (kNoPosition at first) while q goes down.
  [[gnu::always_inline]] uint32_t Back(uint32_t q, uint32_t low, uint32_t* safe) const {
    switch (op_) {
      case OpRepeatSet: return q - 1;
      case OpRepeatChar: return q - CharWidth();
      default: break;
    }
    if (codePage_.IsUtf8()) {
      // A lead byte is never inside a character, so the character is the
      // one that starts at the last byte before q that is not a
      // continuation byte, if it reaches q; else the byte before q stands
      // alone.
      const uint32_t floor = q - low > 4 ? q - 4 : low;
      uint32_t c = q - 1;
      while (c > floor && (text_[c] & 0xC0) == 0x80) --c;
      return c < q - 1 && Next(c) == q ? c : q - 1;
    }
    // Double-byte: a trail byte can look like a lead byte, so no byte tells
    // a character start by itself. But a byte that is not a lead byte ends a
    // character, so the position after it is a start, and from the last
    // such start j below q the bytes up to q - 1 are lead bytes that pair
    // up: the character ending at q has one byte when q - j is odd. j stays
    // the same while q goes down to it, so the bytes are looked at once.
    uint32_t j = *safe;
    if (j == kNoPosition || j >= q) {
      j = LeadRunStart(q - 1, low);
      *safe = j;
    }
    return ((q - j) & 1) != 0 ? q - 1 : q - 2;
  }

  // The first character start at or after q (a character start) whose
  // first byte is b, or n. b is not a lead byte, and in UTF-8 an ASCII
  // byte, which is always a character of its own.
  uint32_t FindByte(uint32_t q, unsigned char b) const {
    while (q < n_) {
      const void* hit = std::memchr(text_ + q, b, n_ - q);
      if (hit == nullptr) return n_;
      const uint32_t h = static_cast<uint32_t>(static_cast<const unsigned char*>(hit) - text_);
      if (codePage_.IsUtf8()) return h;
      // From the last byte before h that is not a lead byte the bytes pair
      // up; an odd distance puts h on a second byte, after which a
      // character starts.
      if (((h - LeadRunStart(h, q)) & 1) == 0) return h;
      q = h + 1;
    }
    return n_;
  }

 private:
  uint32_t Next(uint32_t q) const {
    return static_cast<uint32_t>(codePage_.NextChar(reinterpret_cast<const char*>(text_), q, n_));
  }
  // Double-byte code pages: the lowest i >= low such that the bytes from i
  // up to end are all lead bytes (0x81 to 0xFE). Long runs of Chinese text
  // are such runs, so eight bytes are looked at in one step.
  uint32_t LeadRunStart(uint32_t end, uint32_t low) const {
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHigh = 0x8080808080808080u;
    auto hasZeroByte = [](uint64_t v) { return ((v - kOnes) & ~v & kHigh) != 0; };
    uint32_t i = end;
    while (i - low >= 8) {
      uint64_t word;
      std::memcpy(&word, text_ + i - 8, 8);
      // All high bits set, and no byte 0x80 or 0xFF.
      if ((word & kHigh) != kHigh || hasZeroByte(word ^ kHigh) || hasZeroByte(~word)) break;
      i -= 8;
    }
    while (i > low && static_cast<unsigned char>(text_[i - 1] - 0x81) < 0x7E) --i;
    return i;
  }
  uint32_t CharWidth() const {
    uint32_t width = 1;
    while (width < 4 && (value_ >> (8 * width)) != 0) ++width;
    return width;
  }

  const PatternOp op_;
  const uint32_t value_;
  const ByteSet* const set_;
  const unsigned char* const text_;
  const uint32_t n_;
  const CodePage& codePage_;
};

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
      case Prefilter::kLiteral:
        hit = FindLiteral(bytes, pos, prefilter_.literal, prefilter_.rare1, prefilter_.rare2);
        break;
      case Prefilter::kByteSet:
        // A first byte alone (letters, digits) is often close by.
        hit = pos;
        if (prefilter_.after.empty()) {
          const size_t stop = std::min(size, pos + 16);
          while (hit < stop && !prefilter_.firstBytes.Has(static_cast<unsigned char>(text[hit]))) ++hit;
          if (hit < stop) break;
        }
        hit = FindFirstByte(bytes, hit, prefilter_.firstBytes, prefilter_.ranges, prefilter_.after);
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
  if (shortcuts_ && prefilterExact_) {
    // The prefilter finds the match's bytes; they match where the text's
    // characters there are the expression's, that is where they end with
    // them.
    const size_t length = prefilter_.kind == Prefilter::kByteSet ? 1 + prefilter_.after.size()
                                                                 : prefilter_.literal.size();
    for (size_t at = NextCandidate(bytes, from); at < size;
         at = NextCandidate(bytes, codePage_.NextChar(bytes.data(), at, size))) {
      size_t end = at;
      while (end < at + length) end = codePage_.NextChar(bytes.data(), end, size);
      if (end == at + length) {
        match.start_ = at;
        match.end_ = end;
        if (endOut != nullptr) *endOut = end;
        return true;
      }
    }
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
  const uint64_t stepBound = maxSteps_ != 0 ? maxSteps_ : kBaseSteps + kStepsPerByte * (size - from);
  uint64_t steps = stepBound;
  const PatternInstr* const code = program_.data();
  const InstrExtra* const extra = extra_.data();
  const CodePage& codePage = codePage_;
  const bool skipping = shortcuts_ && !anchored_ && prefilter_.kind != Prefilter::kNone;

  // The memo starts only when the search has done much work for the ground
  // it covered, so that ordinary searches never pay for it. Steps count
  // down; at checkAt (0 when the memo is off or running) the work is
  // weighed.
  const bool memoAllowed = shortcuts_ && memoPoints_ > 0;
  uint64_t checkAt = memoAllowed && memo_ == kMemoWhenSlow
                         ? stepBound - std::min(kMemoSteps, stepBound / 16)
                         : 0;
  std::optional<FailedStates> memo;
  bool memoActive = false;

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
  // Work done in one instruction beyond the step it counts as.
  auto charge = [&](uint64_t work) -> bool {
    if (work >= steps) return false;
    steps -= work;
    return true;
  };
#define STRBATCH_PUSH(value)                      \
  do {                                            \
    if (depth >= capacity && !grow()) goto limit; \
    st[depth++] = (value);                        \
  } while (0)
#define STRBATCH_POP() (depth > 0 ? st[--depth] : 0u)
// The backtrack entry of a greedy counting repeat: the shortest run
// allowed, the run being tried, what RepeatRun::Back carries between calls,
// and where backing off resumes.
#define STRBATCH_PUSH_RUN(shortest, end, safe, resume) \
  do {                                                 \
    STRBATCH_PUSH(shortest);                           \
    STRBATCH_PUSH(end);                                \
    STRBATCH_PUSH(safe);                               \
    STRBATCH_PUSH(static_cast<uint32_t>(resume));      \
  } while (0)
// Records a visit of a memo state; the seen statement runs when the state
// was visited before.
// NOLINTBEGIN(bugprone-macro-parentheses): seen is a statement (a goto, a
// break or a block), which parentheses would not let compile.
#define STRBATCH_VISIT(point, position, seen)          \
  {                                                    \
    const int visit = memo->Visit((point), (position)); \
    if (visit < 0) goto limit;                         \
    if (visit > 0) seen;                               \
  }
// NOLINTEND(bugprone-macro-parentheses)
// At the first instruction of a construct that has a memo row: a state
// explored before fails at once (an instruction index is on top of the
// stack there).
#define STRBATCH_MEMO_STATE() \
  if (memoActive && extra[pc].memo >= 0) STRBATCH_VISIT(extra[pc].memo, pos, goto fail)

  try {
    if (memoAllowed && memo_ == kMemoAlways) {
      memo.emplace(memoPoints_, attempt, n);
      memoActive = true;
    }
    for (;;) {
      if (--steps <= checkAt) {
        if (steps == 0) goto limit;
        if (stepBound - steps >= kMemoStepsPerByte * (attempt - from)) {
          // Positions before the attempt start are never visited again.
          memo.emplace(memoPoints_, attempt, n);
          memoActive = true;
          checkAt = 0;
        } else {
          checkAt = steps > kMemoCheckEvery ? steps - kMemoCheckEvery : 0;
        }
      }
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
            const bool inSet = classSets_[extra[pc].set].Has(text[pos]);
            if (inSet != (in.op == OpClass)) goto fail;
            pos = static_cast<uint32_t>(codePage.NextChar(chars, pos, n));
            pc = in.operand;
            continue;
          }
          case OpJump:
            pc = in.operand;
            continue;
          case OpPushPos:
            STRBATCH_MEMO_STATE();
            STRBATCH_PUSH(pos);
            ++pc;
            continue;
          case OpPopPos:
            pos = STRBATCH_POP();
            ++pc;
            continue;
          case OpCall:
            STRBATCH_MEMO_STATE();
            STRBATCH_PUSH(static_cast<uint32_t>(pc + 1));
            pc = in.operand;
            continue;
          case OpReturn:
            goto fail;
          case OpPushSlot:
            STRBATCH_MEMO_STATE();
            STRBATCH_PUSH(slots[in.operand]);
            ++pc;
            continue;
          case OpPopSlot:
            slots[in.operand] = STRBATCH_POP();
            ++pc;
            continue;
          case OpSavePos:
            STRBATCH_MEMO_STATE();
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
            // An empty text may have no data pointer, which memcmp must not
            // be given even for no bytes.
            if (n - pos < length ||
                (length != 0 && std::memcmp(text + start, text + pos, length) != 0)) {
              goto fail;
            }
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
            if (memoActive) memo->Forget(attempt);
            continue;
          }
          case OpAccept: {
            match.start_ = attempt;
            match.end_ = pos;
            if (endOut != nullptr) *endOut = pos;
            return true;
          }
          case OpPushGroup:
            STRBATCH_MEMO_STATE();
            STRBATCH_PUSH(groups[2 * in.operand]);
            STRBATCH_PUSH(groups[2 * in.operand + 1]);
            ++pc;
            continue;
          case OpPopGroup:
            groups[2 * in.operand + 1] = STRBATCH_POP();
            groups[2 * in.operand] = STRBATCH_POP();
            ++pc;
            continue;
          case OpRepeatSet:
            if ((code[pc + 1].operand & (kRepeatLazy | kRepeatAtMostOne)) == 0 &&
                !(memoActive && extra[pc].memo >= 0)) {
              // The common case on its own: a greedy run of single bytes.
              const ByteSet& set = classSets_[in.operand];
              const uint32_t least = pos + (code[pc + 1].operand & kRepeatAtLeastOne);
              uint32_t end = pos;
              while (end < n && set.Has(text[end])) ++end;
              if (end < least) goto fail;
              const uint32_t longest = end;
              if (extra[pc].follow >= 0) {
                const ByteSet& follow = classSets_[extra[pc].follow];
                while (end > least && (end == n || !follow.Has(text[end]))) --end;
                if (end == n || !follow.Has(text[end])) {
                  if (!charge(uint64_t{longest - pos} + (longest - end))) goto limit;
                  goto fail;
                }
              }
              if (!charge(uint64_t{longest - pos} + (longest - end))) goto limit;
              if (end > least) STRBATCH_PUSH_RUN(least, end, kNoPosition, pc + 1);
              pos = end;
              pc += 2;
              continue;
            }
            [[fallthrough]];
          case OpRepeatAny:
          case OpRepeatClass:
          case OpRepeatChar: {
            const InstrExtra& info = extra[pc];
            const RepeatRun run(in, info, classSets_, text, n, codePage);
            const int32_t shape = code[pc + 1].operand;
            const int32_t point = memoActive ? info.memo : -1;
            const ByteSet* follow = info.follow >= 0 ? &classSets_[info.follow] : nullptr;
            // Ends where the rest of the expression cannot begin are passed
            // over.
            auto viable = [&](uint32_t p) { return follow == nullptr || (p < n && follow->Has(text[p])); };
            // Memo states: for "?" and "??" the repeat at its start; for the
            // others each position the run reaches with its least count
            // taken, where what follows is the same whether the run began
            // there or earlier.
            uint32_t least = pos;
            if ((shape & kRepeatAtLeastOne) != 0) {
              least = run.One(pos);
              if (least == kNoPosition) goto fail;
            }
            if ((shape & kRepeatLazy) != 0) {
              if ((shape & kRepeatAtMostOne) != 0) {
                if (point >= 0) STRBATCH_VISIT(point, pos, goto fail);
                if (!viable(pos)) {
                  const uint32_t next = run.One(pos);
                  if (next == kNoPosition || !viable(next)) goto fail;
                  pos = next;
                  pc += 2;
                  continue;
                }
                STRBATCH_PUSH(pos);
                STRBATCH_PUSH(pos);
                STRBATCH_PUSH(static_cast<uint32_t>(pc + 1));
                pc += 2;
                continue;
              }
              uint32_t q = least;
              bool found = true;
              if (point < 0 && in.op == OpRepeatAny && info.followByte >= 0 && !viable(q)) {
                // Only one byte can begin the rest: search for it.
                q = run.FindByte(q, static_cast<unsigned char>(info.followByte));
                found = q < n;
              }
              for (; found;) {
                if (point >= 0) STRBATCH_VISIT(point, q, { found = false; break; });
                if (viable(q)) break;
                const uint32_t next = run.One(q);
                if (next == kNoPosition) {
                  found = false;
                  break;
                }
                q = next;
              }
              if (!charge(q - pos)) goto limit;
              if (!found) goto fail;
              STRBATCH_PUSH(pos);
              STRBATCH_PUSH(q);
              STRBATCH_PUSH(static_cast<uint32_t>(pc + 1));
              pos = q;
              pc += 2;
              continue;
            }
            uint32_t end = least;
            if ((shape & kRepeatAtMostOne) != 0) {
              if (point >= 0) STRBATCH_VISIT(point, pos, goto fail);
              const uint32_t next = run.One(pos);
              if (next != kNoPosition) end = next;
            } else if (point >= 0) {
              STRBATCH_VISIT(point, least, goto fail);
              for (;;) {
                const uint32_t next = run.One(end);
                if (next == kNoPosition) break;
                // A state seen before failed for every end from there on.
                STRBATCH_VISIT(point, next, break);
                end = next;
              }
            } else {
              end = run.Longest(least, info.stopByte);
            }
            uint32_t safe = kNoPosition;
            const uint32_t longest = end;
            while (end > least && !viable(end)) end = run.Back(end, least, &safe);
            if (!charge(uint64_t{longest - pos} + (longest - end))) goto limit;
            if (!viable(end)) goto fail;
            if (end > least) STRBATCH_PUSH_RUN(least, end, safe, pc + 1);
            pos = end;
            pc += 2;
            continue;
          }
          case OpRepeatBack: {
            // Reached only by backing off: a greedy run one character
            // shorter, or a lazy one a character longer.
            const InstrExtra& info = extra[pc - 1];
            const RepeatRun run(code[pc - 1], info, classSets_, text, n, codePage);
            const ByteSet* follow = info.follow >= 0 ? &classSets_[info.follow] : nullptr;
            auto viable = [&](uint32_t p) { return follow == nullptr || (p < n && follow->Has(text[p])); };
            if ((in.operand & kRepeatLazy) != 0) {
              uint32_t q = STRBATCH_POP();
              const uint32_t start = STRBATCH_POP();
              if ((in.operand & kRepeatAtMostOne) != 0) {
                q = run.One(q);
                if (q == kNoPosition || !viable(q)) goto fail;
                pos = q;
                ++pc;
                continue;
              }
              const int32_t point = memoActive ? info.memo : -1;
              const uint32_t before = q;
              bool found = true;
              if (point < 0 && code[pc - 1].op == OpRepeatAny && info.followByte >= 0) {
                // Only one byte can begin the rest: search for it.
                q = q < n ? run.FindByte(run.One(q), static_cast<unsigned char>(info.followByte)) : n;
                found = q < n;
              } else {
                for (;;) {
                  const uint32_t next = run.One(q);
                  if (next == kNoPosition) {
                    found = false;
                    break;
                  }
                  q = next;
                  if (point >= 0) STRBATCH_VISIT(point, q, { found = false; break; });
                  if (viable(q)) break;
                }
              }
              if (!charge(q - before)) goto limit;
              if (!found) goto fail;
              STRBATCH_PUSH(start);
              STRBATCH_PUSH(q);
              STRBATCH_PUSH(static_cast<uint32_t>(pc));
              pos = q;
              ++pc;
              continue;
            }
            uint32_t safe = STRBATCH_POP();
            uint32_t end = STRBATCH_POP();
            const uint32_t shortest = STRBATCH_POP();
            const uint32_t before = end;
            do {
              end = run.Back(end, shortest, &safe);
            } while (end > shortest && !viable(end));
            if (!charge(before - end)) goto limit;
            if (!viable(end)) goto fail;
            if (end > shortest) STRBATCH_PUSH_RUN(shortest, end, safe, pc);
            pos = end;
            ++pc;
            continue;
          }
        }
      }
    fail:
      // The bottom of the stack leads back to instruction 1, which ends the
      // attempt; an empty stack goes there too.
      pc = depth > 0 ? static_cast<int32_t>(st[--depth]) : 1;
    }
  } catch (const std::bad_alloc&) {
    // The stack or the memo could not grow: as good as a bound.
  }

limit:
  match.limitReached_ = true;
  match.limitOffset_ = attempt;
  return false;
#undef STRBATCH_PUSH
#undef STRBATCH_POP
#undef STRBATCH_PUSH_RUN
#undef STRBATCH_VISIT
#undef STRBATCH_MEMO_STATE
}

}  // namespace strbatch
