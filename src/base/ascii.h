// ASCII-only case folding, for names that are compared without regard to
// case (profile sections and keys, markup tags). Other bytes, double-byte
// characters included, compare as they are.
#ifndef STRBATCH_BASE_ASCII_H_
#define STRBATCH_BASE_ASCII_H_

#include <string_view>

namespace strbatch {

inline char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace strbatch

#endif  // STRBATCH_BASE_ASCII_H_
