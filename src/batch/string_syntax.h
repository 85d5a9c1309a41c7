// How plain definitions are read: the four backslash escapes and the
// plain search, case-sensitive or ASCII-case-insensitive, which only finds
// occurrences that start on a character boundary.
#ifndef STRBATCH_BATCH_STRING_SYNTAX_H_
#define STRBATCH_BATCH_STRING_SYNTAX_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "base/code_page.h"

namespace strbatch {

inline constexpr size_t kNotFound = static_cast<size_t>(-1);

// Where characters start. In a double-byte code page the plain search
// treats a byte of 0x80 or above as the first of two; in UTF-8 every byte
// but a continuation byte (0x80 to 0xBF) starts a character.
enum class CharRule { DoubleByte, Utf8 };

// The byte that a backslash followed by c stands for: "\r", "\n" and "\t"
// give the control characters, any other byte stands for itself.
inline char DecodeEscape(char c) {
  switch (c) {
    case 'r': return '\r';
    case 'n': return '\n';
    case 't': return '\t';
    default: return c;
  }
}

// Decodes "\r", "\n", "\t" and "\\"; a backslash before any other byte
// gives that byte, a final lone backslash is dropped. With a code page, a
// character of several bytes is copied whole, so a second byte of 0x5C (as
// in BIG5 許, B3 5C) is never taken for a backslash.
std::string UnescapePlain(std::string_view text, const CodePage* codePage = nullptr);

// Folds the single-byte ASCII letters of text to lower case; the bytes of
// double-byte characters are left as they are.
std::string FoldAsciiCharacters(std::string_view text, CharRule rule = CharRule::DoubleByte);

// Finds the first occurrence of find in text at or after from, where from is
// a character boundary. An occurrence only starts on a character boundary;
// an empty find string matches nothing. Gives kNotFound when there is none.
size_t FindCaseSensitive(std::string_view text, std::string_view find, size_t from = 0,
                         CharRule rule = CharRule::DoubleByte);

// The same with ASCII letters matching either case. Double-byte characters
// are compared byte for byte, so a trail byte that happens to be a letter
// never matches the other case.
size_t FindNoCase(std::string_view text, std::string_view find, size_t from = 0,
                  CharRule rule = CharRule::DoubleByte);

// Repeated case-insensitive searches over one text: the text is folded once.
class NoCaseSearcher {
 public:
  NoCaseSearcher(std::string_view text, std::string_view find,
                 CharRule rule = CharRule::DoubleByte);
  size_t Find(size_t from) const;

 private:
  CharRule rule_;
  std::string foldedText_;
  std::string foldedFind_;
};

// The raw byte search under the plain search (no character rule), with or
// without the AVX2 variant; exposed so that tests can compare both.
size_t FindBytesForTesting(std::string_view text, std::string_view needle, bool allowAvx2);

}  // namespace strbatch

#endif  // STRBATCH_BATCH_STRING_SYNTAX_H_
