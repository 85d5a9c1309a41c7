// This file's external interface is FindLiteral, FindFirstByte and
// FoldAsciiLower (declared in pattern_scan.h and pattern_program.h).
//
// The vector loops compare 16 bytes with a byte value in one step; lanes
// that compare equal become 0xFF, and the lowest such lane is found from
// the two 64-bit halves (which needs a little-endian machine; elsewhere the
// plain loops do all the work).
#include "pattern/pattern_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace strbatch {
namespace {

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kVectors = true;
#else
constexpr bool kVectors = false;
#endif

using Bytes16 = unsigned char __attribute__((vector_size(16)));

Bytes16 Load(const unsigned char* at) {
  Bytes16 bytes;
  std::memcpy(&bytes, at, sizeof bytes);
  return bytes;
}

Bytes16 Splat(unsigned char b) {
  Bytes16 bytes;
  for (int i = 0; i < 16; ++i) bytes[i] = b;
  return bytes;
}

// The lanes set in a compare result, as a bit per lane.
uint32_t Lanes(Bytes16 mask) {
  uint64_t half[2];
  std::memcpy(half, &mask, sizeof half);
  uint32_t bits = 0;
  for (int h = 0; h < 2; ++h) {
    // One bit (the top one) of each lane that is set.
    for (uint64_t word = half[h] & 0x8080808080808080u; word != 0; word &= word - 1) {
      bits |= uint32_t{1} << (8 * h + __builtin_ctzll(word) / 8);
    }
  }
  return bits;
}

bool AnyLane(Bytes16 mask) {
  uint64_t half[2];
  std::memcpy(half, &mask, sizeof half);
  return (half[0] | half[1]) != 0;
}

// How common a byte is in the texts we search: spaces, then small letters
// by their frequency in English, capitals, digits and punctuation, the
// bytes of Chinese text; control bytes least.
int ByteCommonness(unsigned char b) {
  static const char kLetters[] = "etaoinshrdlcumwfgypbvkjxqz";
  if (b == ' ') return 100;
  if (b >= 'a' && b <= 'z') return 90 - static_cast<int>(std::strchr(kLetters, b) - kLetters);
  if (b >= 'A' && b <= 'Z') return 40;
  if (b >= '0' && b <= '9') return 45;
  if (b >= 0x80) return 50;
  if (b > ' ' && b < 0x7F) return 30;
  return b == '\n' || b == '\r' ? 35 : 5;
}

}  // namespace

void ChooseRareBytes(std::string_view literal, size_t* first, size_t* second) {
  *first = *second = 0;
  for (size_t i = 1; i < literal.size(); ++i) {
    const int commonness = ByteCommonness(static_cast<unsigned char>(literal[i]));
    if (commonness < ByteCommonness(static_cast<unsigned char>(literal[*first]))) {
      *second = *first;
      *first = i;
    } else if (*second == *first ||
               commonness < ByteCommonness(static_cast<unsigned char>(literal[*second]))) {
      *second = i;
    }
  }
}

size_t FindLiteral(std::string_view text, size_t pos, std::string_view literal, size_t rare1,
                   size_t rare2) {
  const size_t size = text.size();
  const size_t length = literal.size();
  if (pos >= size || size - pos < length) return size;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  if (length == 1) {
    const void* hit = std::memchr(bytes + pos, literal[0], size - pos);
    return hit == nullptr ? size : static_cast<size_t>(static_cast<const unsigned char*>(hit) - bytes);
  }
  if constexpr (kVectors) {
    // Candidates have the literal's two rare bytes in their places; only
    // they are compared in full.
    const Bytes16 first = Splat(static_cast<unsigned char>(literal[rare1]));
    const Bytes16 second = Splat(static_cast<unsigned char>(literal[rare2]));
    for (; pos + length - 1 + 16 <= size; pos += 16) {
      const Bytes16 mask = (Load(bytes + pos + rare1) == first) & (Load(bytes + pos + rare2) == second);
      if (!AnyLane(mask)) continue;
      for (uint32_t lanes = Lanes(mask); lanes != 0; lanes &= lanes - 1) {
        const size_t at = pos + __builtin_ctz(lanes);
        size_t i = 0;
        while (i < length && bytes[at + i] == static_cast<unsigned char>(literal[i])) ++i;
        if (i == length) return at;
      }
    }
  }
  const void* hit = memmem(bytes + pos, size - pos, literal.data(), length);
  return hit == nullptr ? size : static_cast<size_t>(static_cast<const unsigned char*>(hit) - bytes);
}

std::string ByteRanges(const ByteSet& set) {
  std::string ranges;
  for (int b = 0; b < 256;) {
    if (!set.Has(static_cast<unsigned char>(b))) {
      ++b;
      continue;
    }
    int high = b;
    while (high < 255 && set.Has(static_cast<unsigned char>(high + 1))) ++high;
    if (ranges.size() == 6) return std::string();
    ranges.push_back(static_cast<char>(b));
    ranges.push_back(static_cast<char>(high));
    b = high + 1;
  }
  return ranges;
}

size_t FindFirstByte(std::string_view text, size_t pos, const ByteSet& first, std::string_view ranges,
                     std::string_view after) {
  const size_t size = text.size();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  auto follows = [&](size_t at) {
    if (size - at - 1 < after.size()) return false;
    for (size_t i = 0; i < after.size(); ++i) {
      if (bytes[at + 1 + i] != static_cast<unsigned char>(after[i])) return false;
    }
    return true;
  };
  if constexpr (kVectors) {
    if (!ranges.empty()) {
      // A byte b is in the range from low to high when b - low, wrapping
      // around, is at most high - low.
      Bytes16 lows[3], spans[3];
      for (size_t i = 0; i < 3; ++i) {
        const size_t r = 2 * std::min(i, ranges.size() / 2 - 1);
        const auto low = static_cast<unsigned char>(ranges[r]);
        lows[i] = Splat(low);
        spans[i] = Splat(static_cast<unsigned char>(static_cast<unsigned char>(ranges[r + 1]) - low));
      }
      // The two bytes after the first, as far as they are known, are
      // compared in the same step.
      const size_t known = std::min<size_t>(after.size(), 2);
      Bytes16 next[2];
      for (size_t i = 0; i < known; ++i) next[i] = Splat(static_cast<unsigned char>(after[i]));
      for (; pos + 18 <= size; pos += 16) {
        const Bytes16 here = Load(bytes + pos);
        Bytes16 mask = ((here - lows[0]) <= spans[0]) | ((here - lows[1]) <= spans[1]) |
                       ((here - lows[2]) <= spans[2]);
        for (size_t i = 0; i < known; ++i) mask &= Load(bytes + pos + 1 + i) == next[i];
        if (!AnyLane(mask)) continue;
        for (uint32_t lanes = Lanes(mask); lanes != 0; lanes &= lanes - 1) {
          const size_t at = pos + __builtin_ctz(lanes);
          if (follows(at)) return at;
        }
      }
    }
  }
  for (; pos < size; ++pos) {
    if (first.Has(bytes[pos]) && follows(pos)) return pos;
  }
  return size;
}

std::string FoldAsciiLower(std::string_view text, const CodePage& codePage) {
  std::string folded(text);
  auto* bytes = reinterpret_cast<unsigned char*>(folded.data());
  const size_t size = folded.size();
  auto fold = [&](size_t at) {
    if (static_cast<unsigned char>(bytes[at] - 'A') < 26) bytes[at] = static_cast<unsigned char>(bytes[at] + ('a' - 'A'));
  };
  if (codePage.IsUtf8()) {
    // A byte below 0x80 is always a character of its own.
    for (size_t i = 0; i < size; ++i) fold(i);
    return folded;
  }
  // Double-byte: a capital is folded unless it is the second byte of a
  // character. A byte that is not a lead byte ends a character, so the
  // position after it is a character start; from the last such start below
  // a capital the lead bytes pair up, and an odd count puts the capital on
  // a second byte.
  size_t start = 0;  // a known character start
  auto foldIfFirst = [&](size_t at) {
    size_t j = at;
    while (j > start && codePage.IsLeadByte(bytes[j - 1])) --j;
    if (((at - j) & 1) == 0) fold(at);
    start = at + 1;  // a capital is never a lead byte
  };
  size_t i = 0;
  if constexpr (kVectors) {
    const Bytes16 capitalA = Splat('A');
    const Bytes16 letters = Splat(26);
    const Bytes16 firstLead = Splat(0x81);
    const Bytes16 leads = Splat(0x7E);
    const Bytes16 toSmall = Splat('a' - 'A');
    for (; i + 16 <= size; i += 16) {
      Bytes16 block = Load(bytes + i);
      const Bytes16 capitals = (block - capitalA) < letters;
      if (AnyLane(capitals)) {
        if (start == i && !AnyLane((block - firstLead) < leads)) {
          // Whole characters of one byte each: fold them all.
          block += capitals & toSmall;
          std::memcpy(bytes + i, &block, sizeof block);
        } else {
          for (uint32_t lanes = Lanes(capitals); lanes != 0; lanes &= lanes - 1) {
            foldIfFirst(i + __builtin_ctz(lanes));
          }
        }
      }
      // A block that ends with a byte that is not a lead byte ends with a
      // whole character.
      if (!codePage.IsLeadByte(bytes[i + 15])) start = i + 16;
    }
  }
  for (; i < size; ++i) {
    if (static_cast<unsigned char>(bytes[i] - 'A') < 26) foldIfFirst(i);
  }
  return folded;
}

}  // namespace strbatch
