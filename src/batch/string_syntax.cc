#include "batch/string_syntax.h"

#include <immintrin.h>

#include <cstring>

namespace strbatch {
namespace {

// Substring search that compares the needle's first and last byte against a
// whole block of candidate positions at once; only positions where both
// agree are compared in full. Much faster than a general memmem for the
// short needles of definitions. needle has at least two bytes.
const char* FindBlocksSse2(const char* text, size_t size, const char* needle, size_t length) {
  const __m128i first = _mm_set1_epi8(needle[0]);
  const __m128i last = _mm_set1_epi8(needle[length - 1]);
  size_t i = 0;
  for (; i + 16 + length - 1 <= size; i += 16) {
    __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + length - 1));
    uint32_t mask = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(f, first), _mm_cmpeq_epi8(l, last))));
    for (; mask != 0; mask &= mask - 1) {
      size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
      if (std::memcmp(text + at + 1, needle + 1, length - 2) == 0) return text + at;
    }
  }
  return static_cast<const char*>(memmem(text + i, size - i, needle, length));
}

// The same with 32-byte blocks, for processors that have AVX2.
__attribute__((target("avx2"))) const char* FindBlocksAvx2(const char* text, size_t size,
                                                            const char* needle, size_t length) {
  const __m256i first = _mm256_set1_epi8(needle[0]);
  const __m256i last = _mm256_set1_epi8(needle[length - 1]);
  size_t i = 0;
  for (; i + 32 + length - 1 <= size; i += 32) {
    __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
    __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i + length - 1));
    uint32_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_cmpeq_epi8(f, first), _mm256_cmpeq_epi8(l, last))));
    for (; mask != 0; mask &= mask - 1) {
      size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
      if (std::memcmp(text + at + 1, needle + 1, length - 2) == 0) return text + at;
    }
  }
  return static_cast<const char*>(memmem(text + i, size - i, needle, length));
}

const bool g_haveAvx2 = __builtin_cpu_supports("avx2");

const char* FindBytes(const char* text, size_t size, const char* needle, size_t length,
                      bool allowAvx2 = true) {
  if (length == 1) return static_cast<const char*>(std::memchr(text, needle[0], size));
  if (length > size) return nullptr;
  if (allowAvx2 && g_haveAvx2) return FindBlocksAvx2(text, size, needle, length);
  return FindBlocksSse2(text, size, needle, length);
}

// Whether a found position is a character boundary, knowing that from is
// one. A byte below 0x80 always ends a character (it is either a character
// of its own or a trail byte), so the position after the last such byte
// before candidate is a boundary, and from there on every byte is 0x80 or
// above and the characters are pairs.
bool IsBoundary(std::string_view text, size_t from, size_t candidate, CharRule rule) {
  if (rule == CharRule::Utf8) {
    const unsigned char b = static_cast<unsigned char>(text[candidate]);
    return b < 0x80 || b > 0xBF;
  }
  size_t q = candidate;
  while (q > from && static_cast<unsigned char>(text[q - 1]) >= 0x80) q--;
  return (candidate - q) % 2 == 0;
}

size_t FindAligned(std::string_view text, std::string_view find, size_t from, CharRule rule) {
  if (find.empty()) return kNotFound;
  while (from < text.size() && text.size() - from >= find.size()) {
    const char* hit =
        FindBytes(text.data() + from, text.size() - from, find.data(), find.size());
    if (hit == nullptr) return kNotFound;
    size_t candidate = static_cast<size_t>(hit - text.data());
    if (IsBoundary(text, from, candidate, rule)) return candidate;
    // The candidate is a trail byte, so the byte after it starts a character.
    from = candidate + 1;
  }
  return kNotFound;
}

inline char FoldByte(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

size_t FindBytesForTesting(std::string_view text, std::string_view needle, bool allowAvx2) {
  if (needle.empty()) return kNotFound;
  const char* hit = FindBytes(text.data(), text.size(), needle.data(), needle.size(), allowAvx2);
  return hit ? static_cast<size_t>(hit - text.data()) : kNotFound;
}

std::string UnescapePlain(std::string_view text, const CodePage* codePage) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    if (codePage != nullptr && codePage->IsLeadByte(static_cast<unsigned char>(c))) {
      const size_t next = codePage->NextChar(text, i);
      out.append(text.substr(i, next - i));
      i = next - 1;
      continue;
    }
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (++i == text.size()) break;
    out.push_back(DecodeEscape(text[i]));
  }
  return out;
}

std::string FoldAsciiCharacters(std::string_view text, CharRule rule) {
  std::string folded(text);
  for (size_t i = 0; i < folded.size();) {
    // In UTF-8 a byte below 0x80 is always a character of its own.
    if (rule == CharRule::DoubleByte && static_cast<unsigned char>(folded[i]) >= 0x80 &&
        i + 1 < folded.size()) {
      i += 2;
    } else {
      folded[i] = FoldByte(folded[i]);
      i++;
    }
  }
  return folded;
}

size_t FindCaseSensitive(std::string_view text, std::string_view find, size_t from,
                         CharRule rule) {
  return FindAligned(text, find, from, rule);
}

size_t FindNoCase(std::string_view text, std::string_view find, size_t from, CharRule rule) {
  if (find.empty()) return kNotFound;
  return NoCaseSearcher(text, find, rule).Find(from);
}

NoCaseSearcher::NoCaseSearcher(std::string_view text, std::string_view find, CharRule rule)
    : rule_(rule),
      foldedText_(FoldAsciiCharacters(text, rule)),
      foldedFind_(FoldAsciiCharacters(find, rule)) {}

size_t NoCaseSearcher::Find(size_t from) const {
  return FindAligned(foldedText_, foldedFind_, from, rule_);
}

}  // namespace strbatch
