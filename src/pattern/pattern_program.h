// The compiled form of an expression, shared by the compiler
// (pattern_compiler.cc), the matcher (pattern_matcher.cc) and Dump: the
// instruction set of the backtracking machine, byte sets for classes, and the
// first-byte filter that lets a search skip positions where no match can start.
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
  // A greedy repeat of one single-byte character set, in one step: consume
  // the longest run of bytes in the set (operand: its index), then leave one
  // backtrack entry that gives the run back a byte at a time. The
  // OpRepeatBack after it holds the shape (bit 0: at least one, bit 1: at
  // most one) and is where backing off resumes.
  OpRepeatSet,
  OpRepeatBack,
};

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
  ByteSet firstBytes;   // kByteSet
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
