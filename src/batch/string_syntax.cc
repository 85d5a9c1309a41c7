#include "batch/string_syntax.h"

#include <cstring>

namespace strbatch {
namespace {

// Whether a found position is a character boundary, knowing that from is
// one. A byte below 0x80 always ends a character (it is either a character
// of its own or a trail byte), so the position after the last such byte
// before candidate is a boundary, and from there on every byte is 0x80 or
// above and the characters are pairs.
bool IsBoundary(std::string_view text, size_t from, size_t candidate) {
  size_t q = candidate;
  while (q > from && static_cast<unsigned char>(text[q - 1]) >= 0x80) q--;
  return (candidate - q) % 2 == 0;
}

size_t FindAligned(std::string_view text, std::string_view find, size_t from) {
  if (find.empty()) return kNotFound;
  while (from < text.size() && text.size() - from >= find.size()) {
    const void* hit = memmem(text.data() + from, text.size() - from, find.data(), find.size());
    if (hit == nullptr) return kNotFound;
    size_t candidate = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    if (IsBoundary(text, from, candidate)) return candidate;
    // The candidate is a trail byte, so the byte after it starts a character.
    from = candidate + 1;
  }
  return kNotFound;
}

inline char FoldByte(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

std::string UnescapePlain(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (++i == text.size()) break;
    switch (text[i]) {
      case 'r': out.push_back('\r'); break;
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      default: out.push_back(text[i]); break;
    }
  }
  return out;
}

std::string FoldAsciiCharacters(std::string_view text) {
  std::string folded(text);
  for (size_t i = 0; i < folded.size();) {
    if (static_cast<unsigned char>(folded[i]) >= 0x80 && i + 1 < folded.size()) {
      i += 2;
    } else {
      folded[i] = FoldByte(folded[i]);
      i++;
    }
  }
  return folded;
}

size_t FindCaseSensitive(std::string_view text, std::string_view find, size_t from) {
  return FindAligned(text, find, from);
}

size_t FindNoCase(std::string_view text, std::string_view find, size_t from) {
  if (find.empty()) return kNotFound;
  return NoCaseSearcher(text, find).Find(from);
}

NoCaseSearcher::NoCaseSearcher(std::string_view text, std::string_view find)
    : foldedText_(FoldAsciiCharacters(text)), foldedFind_(FoldAsciiCharacters(find)) {}

size_t NoCaseSearcher::Find(size_t from) const {
  return FindAligned(foldedText_, foldedFind_, from);
}

}  // namespace strbatch
