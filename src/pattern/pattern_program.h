// The compiled form of an expression, shared by the compiler
// (pattern_compiler.cc and its stages), the matcher (pattern_matcher.cc) and
// Dump: the instruction set of the backtracking machine, byte sets for
// classes, and the first-byte filter that lets a search skip positions where
// no match can start.
#ifndef STRBATCH_PATTERN_PATTERN_PROGRAM_H_
#define STRBATCH_PATTERN_PATTERN_PROGRAM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/code_page.h"

namespace strbatch {

enum PatternOp : int32_t {
  OpNop,          // go on; also holds the bounds of a class range
  OpGroupStart,   // group operand's start = position
  OpGroupEnd,     // group operand's end = position
  OpChar,         // match one character of the operand's value; 0 tests for the end
  OpAny,          // match any one character
  OpClass,        // match a character whose first byte is in the class; operand: past its ranges
  OpNotClass,     // the same, first byte not in the class
  OpJump,         // continue at the operand
  OpPushPos,      // push the position
  OpPopPos,       // pop the position
  OpCall,         // push the next index, continue at the operand
  OpReturn,       // back off
  OpPushSlot,     // push the slot's value
  OpPopSlot,      // pop into the slot
  OpSavePos,      // slot = position
  OpSaveDepth,    // slot = backtrack stack depth
  OpLoadPos,      // position = slot
  OpLoadDepth,    // cut the backtrack stack back to the slot's depth
  OpNoProgress,   // back off when the position equals the slot
  OpBackref,      // match the text the group recorded
  OpFailAll,      // end the search without a match
  OpAdvance,      // start the next attempt one character further on
  OpAccept,       // the search succeeded
  OpPushGroup,    // push the group's start and end
  OpPopGroup,     // pop the group's end, then its start
  // Counting repeats: a repeat of one character item in one step, with one
  // backtrack entry whatever the length of the run. A greedy one consumes
  // the longest run, then gives it back a character at a time; a lazy one
  // takes a character at a time. The OpRepeatBack after it holds the shape
  // (bit 0: at least one, bit 1: at most one, bit 2: lazy) and is where
  // backing off resumes. OpRepeatSet repeats a byte set whose bytes are all
  // whole characters (operand: its index).
  OpRepeatSet,
  OpRepeatBack,
  OpRepeatAny,    // repeat of any character
  OpRepeatClass,  // repeat of characters whose first byte is in the set (operand: its index)
  OpRepeatChar,   // repeat of the character of the operand's value
};

// Shape bits of OpRepeatBack.
constexpr int32_t kRepeatAtLeastOne = 1;
constexpr int32_t kRepeatAtMostOne = 2;
constexpr int32_t kRepeatLazy = 4;

const char* PatternOpName(PatternOp op);

struct PatternInstr {
  PatternOp op;
  int32_t operand;
};

// A set of byte values.
class ByteSet {
 public:
  void Add(unsigned char b) { bits_[b >> 6] |= uint64_t{1} << (b & 63); }
  void AddRange(unsigned char low, unsigned char high) {
    for (unsigned b = low; b <= high; ++b) Add(static_cast<unsigned char>(b));
  }
  void AddAll(const ByteSet& other) {
    for (int i = 0; i < 4; ++i) bits_[i] |= other.bits_[i];
  }
  bool Has(unsigned char b) const { return (bits_[b >> 6] >> (b & 63)) & 1; }
  int Count() const;
  ByteSet Complement() const;

 private:
  uint64_t bits_[4] = {0, 0, 0, 0};
};

// How a search finds the next position where an attempt can start. Only
// used when every match must consume a first character, so that skipping
// positions whose byte cannot begin one changes no result.
struct Prefilter {
  enum Kind { kNone, kByte, kLiteral, kByteSet };
  Kind kind = kNone;
  std::string literal;  // kByte: one byte; kLiteral: the bytes every match begins with
  size_t rare1 = 0, rare2 = 0;  // kLiteral: see ChooseRareBytes
  ByteSet firstBytes;   // kByteSet
  std::string ranges;   // kByteSet: ByteRanges(firstBytes)
  std::string after;    // kByteSet: bytes every match has right after its first byte
};

// What the matcher needs of an instruction beside its operand; -1 where a
// field does not apply.
struct InstrExtra {
  int32_t set = -1;  // OpClass, OpNotClass and counting repeats: index of the byte set
  // Counting repeats: index of the set of bytes that the rest of the
  // expression can begin with, so that a run ends only where the rest can
  // start; -1 when the rest can match without consuming anything.
  int32_t follow = -1;
  // OpRepeatClass: the one byte outside the set, when there is only one and
  // a byte search can find it (it is not a lead byte; in UTF-8 it is ASCII),
  // so that a byte search finds the end of a run.
  int32_t stopByte = -1;
  // Counting repeats: the one byte the rest can begin with, when there is
  // only one and a byte search can find it.
  int32_t followByte = -1;
  // Choice points: the row in the memo of failed states (see the matcher);
  // -1 for a state whose outcome depends on more than its position.
  int32_t memo = -1;
};

// The value of the character of length bytes at text: its bytes, the first
// in the low eight bits. Bytes inside a character of more than one byte are
// never zero, so different characters have different values.
inline uint32_t CharValue(const unsigned char* text, size_t length) {
  uint32_t value = 0;
  for (size_t i = 0; i < length && i < 4; ++i) value |= uint32_t{text[i]} << (8 * i);
  return value;
}

// Lower-cases ASCII letters, stepping over double-byte characters whole so
// that a trail byte is never changed. Positions map one to one.
std::string FoldAsciiLower(std::string_view text, const CodePage& codePage);

}  // namespace strbatch

#endif  // STRBATCH_PATTERN_PATTERN_PROGRAM_H_
