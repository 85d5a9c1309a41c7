// Byte scans for the matcher: finding where a match can begin and folding
// text to lower case. They read 16 bytes at a time where the compiler offers
// vectors, and give the same results as a byte-by-byte loop.
#ifndef STRBATCH_PATTERN_PATTERN_SCAN_H_
#define STRBATCH_PATTERN_PATTERN_SCAN_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "pattern/pattern_program.h"

namespace strbatch {

// Two offsets in literal (the same one when it has one byte) whose bytes
// are likely to be rare in text, for FindLiteral to look for first.
void ChooseRareBytes(std::string_view literal, size_t* first, size_t* second);

// The first offset at or after pos where literal (not empty) occurs in
// text, or text.size(). rare1 and rare2 come from ChooseRareBytes.
size_t FindLiteral(std::string_view text, size_t pos, std::string_view literal, size_t rare1,
                   size_t rare2);

// The ranges of bytes that make up set, as pairs of low and high bytes,
// when there are at most three (else empty).
std::string ByteRanges(const ByteSet& set);

// The first offset at or after pos whose byte is in first and is followed
// by after, or text.size(). ranges: ByteRanges(first).
size_t FindFirstByte(std::string_view text, size_t pos, const ByteSet& first, std::string_view ranges,
                     std::string_view after);

}  // namespace strbatch

#endif  // STRBATCH_PATTERN_PATTERN_SCAN_H_
